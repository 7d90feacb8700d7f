#include "models/title_document.h"
#include "models/title_error.h"

#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

QByteArray document(const char* before, const char* layers = "[]") {
    return QByteArray("{") + before +
           R"("canvas":{"width":1280,"height":720,"name":"HD 720"},"layers":)" + layers + "}";
}

TEST(TitleDocumentTest, VersionDefaultsAndRequiredKeys) {
    // The version is checked before anything else: a bad version wins over a missing canvas.
    EXPECT_THROW(TitleDocument::decode(R"({"formatVersion":0})"), TitleError);
    for (const char* bad : {R"("formatVersion":3,)", R"("formatVersion":-1,)"})
        EXPECT_THROW(TitleDocument::decode(document(bad)), TitleError) << bad;
    EXPECT_EQ(TitleDocument::decode(document(R"("formatVersion":1,)")).formatVersion, 2);
    const TitleDocument doc = TitleDocument::decode(document(R"("formatVersion":null,)"));
    EXPECT_EQ(doc.formatVersion, 2);
    EXPECT_EQ(doc.name, QString::fromUtf8("新規テロップ"));
    for (const char* bad : {R"({"layers":[]})", R"({"canvas":{"width":1,"height":1,"name":"x"}})",
                            R"({"canvas":{"width":1920,"height":1080},"layers":[]})", R"([])"}) {
        EXPECT_THROW(TitleDocument::decode(bad), JsonReader::Error) << bad;
    }
    for (const char* before : {R"("name":5,)", R"("templateFields":[1],)",
                               R"("guides":[{"axis":"diagonal","position":1}],)"}) {
        EXPECT_THROW(TitleDocument::decode(document(before)), JsonReader::Error) << before;
    }
}

TEST(TitleDocumentTest, LayersReadWithDefaultsAndLegacyKeysOnlyWithoutEffects) {
    const TitleTextLayer layer = TitleDocument::decode(document("", "[{}]")).layers.at(0);
    // Read with an empty text (a new layer says "テロップ") and the two default effects.
    EXPECT_FALSE(layer.id.isNull());
    EXPECT_TRUE(layer.text.isEmpty() && layer.y == 0.8 && layer.fontSize == 96);
    EXPECT_EQ(layer.fontName, QStringLiteral("HiraginoSans-W6"));
    ASSERT_EQ(layer.effects.size(), 2);
    EXPECT_EQ(layer.effects[0].kind, TitleEffectKind::edge);
    EXPECT_EQ(layer.effects[1].kind, TitleEffectKind::shadow);
    EXPECT_EQ(layer.effects[1].color, (TitleRGBA{0, 0, 0, 0.75}));
    EXPECT_NE(layer.effects[0].id, layer.effects[1].id);
    EXPECT_EQ(TitleTextLayer().text, QString::fromUtf8("テロップ"));

    const char* legacy = R"([{"outline":{"r":1,"g":0,"b":0,"a":1},"outlineWidth":5}])";
    const TitleDocument old = TitleDocument::decode(document("", legacy));
    const auto& effects = old.layers.at(0).effects;
    ASSERT_EQ(effects.size(), 2);
    EXPECT_TRUE(effects[0].color == (TitleRGBA{1, 0, 0, 1}) && effects[0].size == 5);
    EXPECT_EQ(effects[1].size, 8);
    // With "effects" present the legacy keys are not read at all, even malformed ones.
    const char* both = R"([{"effects":[],"outline":"red","shadowBlur":"x"}])";
    EXPECT_TRUE(TitleDocument::decode(document("", both)).layers.at(0).effects.isEmpty());
    // Written back, no legacy key survives.
    const QByteArray written = *old.encoded();
    for (const char* key : {"\"outline\"", "\"outlineWidth\"", "\"shadow\":", "\"shadowBlur\""})
        EXPECT_FALSE(written.contains(key)) << key;

    const QByteArray effect =
        R"({"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","color":{"r":0,"g":0,"b":0,"a":1},"enabled":true,"size":1,"offsetX":0)";
    for (const QByteArray& layers :
         {QByteArray(R"([{"outlineWidth":"wide"}])"), QByteArray(R"([{"alignment":"Center"}])"),
          QByteArray(R"([{"id":"not-a-uuid"}])"),
          R"([{"effects":[)" + effect + R"(,"kind":"glow","offsetY":0}]}])",
          R"([{"effects":[)" + effect + R"(,"kind":"edge"}]}])"}) {
        EXPECT_THROW(TitleDocument::decode(document("", layers.constData())), JsonReader::Error)
            << layers.constData();
    }
}

TEST(TitleDocumentTest, RoundTripsEveryField) {
    TitleDocument doc;
    doc.name = QStringLiteral("Lower third");
    doc.canvas = CanvasFormat{3840, 2160, QStringLiteral("UHD 4K")};
    TitleTextLayer layer;
    layer.alignment = TitleTextLayer::Alignment::right;
    layer.effects.append(
        {QUuid::createUuid(), TitleEffectKind::innerGlow, false, {0.1, 0.2, 0.3, 0.4}, 2.5, -1, 7});
    doc.layers = {layer, TitleTextLayer()};
    doc.guides = {{TitleGuide::Axis::vertical, 0.25}, {TitleGuide::Axis::horizontal, 0.9}};
    doc.templateFields = {QStringLiteral("name"), QStringLiteral("role")};
    EXPECT_EQ(TitleDocument::decode(*doc.encoded()), doc);
    doc.layers[0].fontSize = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(doc.encoded().has_value());
}

}  // namespace
}  // namespace velmar
