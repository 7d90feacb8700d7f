#include "models/canvas_format.h"
#include "models/clip.h"
#include "models/frame_rate.h"
#include "models/language_settings.h"

#include <gtest/gtest.h>

#include <limits>

namespace velmar {
namespace {

TEST(ClipTest, KindForMatchesExtensionsCaseInsensitively) {
    struct Case {
        const char* path;
        std::optional<Clip::Kind> kind;
    };
    const Case cases[] = {
        {"Clip.MOV", Clip::Kind::movie},       {"still.JPEG", Clip::Kind::still},
        {"/media/a/b.Mp4", Clip::Kind::movie}, {"/media/layers.psd", Clip::Kind::still},
        {"scan.TiF", Clip::Kind::still},       {"show.mxf", Clip::Kind::movie},
        {"notes.txt", std::nullopt},           {"/media/noextension", std::nullopt},
        {"/media/dir.png/file", std::nullopt},  // the folder's extension does not count
        {"archive.png.zip", std::nullopt},      // only the last extension counts
        {"ends.with.dot.", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Clip::kindFor(QString::fromUtf8(c.path)), c.kind) << c.path;
    }
    EXPECT_EQ(Clip::kindFor(QUrl::fromLocalFile(QStringLiteral("/m/Ünïcode film.M4V"))),
              Clip::Kind::movie);
}

TEST(ClipTest, LoopLabel) {
    struct Case {
        Clip::Kind kind;
        int loopCount;
        std::optional<QString> label;
    };
    const Case cases[] = {
        {Clip::Kind::still, 0, std::nullopt},
        {Clip::Kind::movie, 0, QStringLiteral("∞")},
        {Clip::Kind::movie, 1, std::nullopt},
        {Clip::Kind::movie, 12, QStringLiteral("×12")},
    };
    for (const Case& c : cases) {
        Clip clip;
        clip.kind = c.kind;
        clip.loopCount = c.loopCount;
        EXPECT_EQ(clip.loopLabel(), c.label) << c.loopCount;
    }
}

TEST(ClipTest, NewClipsDrawFreshIdsAndCompareAllFields) {
    const Clip a;
    EXPECT_NE(a.id, Clip().id);
    Clip c = a;
    c.contentAnchorY = 0.0;  // an optional set to its default value still differs
    EXPECT_NE(c, a);
    c = a;
    c.unreadableReason = QString();
    EXPECT_NE(c, a);

    // -0.0 equals 0.0 and must hash alike.
    Clip d = a;
    d.transform.offsetX = -0.0;
    EXPECT_EQ(d, a);
    EXPECT_EQ(qHash(d), qHash(a));
}

TEST(CanvasFormatTest, IdIgnoresTheNameButEqualityDoesNot) {
    const CanvasFormat custom{1920, 1080, QStringLiteral("カスタム")};
    EXPECT_EQ(custom.id(), CanvasFormat().id());
    EXPECT_NE(custom, CanvasFormat());
}

TEST(CanvasFormatTest, LabelTranslatesOnlyTheCustomName) {
    LanguageSettings& languages = LanguageSettings::shared();
    const AppLanguage saved = languages.language();

    languages.setLanguage(AppLanguage::ja);
    EXPECT_EQ((CanvasFormat{640, 480, CanvasFormat::customName()}).label(),
              QStringLiteral("カスタム  640×480"));

    languages.setLanguage(AppLanguage::en);
    EXPECT_EQ((CanvasFormat{640, 480, CanvasFormat::customName()}).label(),
              QStringLiteral("Custom  640×480"));
    EXPECT_EQ((CanvasFormat{640, 480, QStringLiteral("カスタム ")}).label(),
              QStringLiteral("カスタム   640×480"));  // not exactly the custom name
    EXPECT_EQ(CanvasFormat::presets()[1].label(),
              QStringLiteral("UHD 4K  3840×2160"));  // names stay

    languages.setLanguage(saved);
}

TEST(FrameRateTest, Labels) {
    struct Case {
        qint64 timeScale, frameDuration;
        const char* label;
    };
    const Case cases[] = {
        {48, 2, "24 p"},
        {60, 0, "0 p"},
        {60, -5, "0 p"},
        {0, 1, "0 p"},
        {1, 3, "0.33 p"},
        {120000, 1001, "119.88 p"},
        {std::numeric_limits<qint64>::max(), std::numeric_limits<qint64>::max(), "1 p"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ((FrameRate{c.timeScale, c.frameDuration}.label()), QString::fromLatin1(c.label))
            << c.timeScale << "/" << c.frameDuration;
    }
    QStringList presetLabels;
    for (const FrameRate& r : FrameRate::presets()) presetLabels << r.label();
    EXPECT_EQ(presetLabels.join(QLatin1Char(',')),
              QStringLiteral("23.98 p,24 p,25 p,29.97 p,30 p,50 p,59.94 p,60 p"));
}

TEST(FrameRateTest, EqualityIsExactAndSameRateComparesValues) {
    EXPECT_NE((FrameRate{60, 1}), (FrameRate{120, 2}));
    EXPECT_EQ((FrameRate{120, 2}).id(), QStringLiteral("120/2"));

    constexpr qint64 big = std::numeric_limits<qint64>::max();
    struct Case {
        FrameRate a, b;
        bool same;
    };
    const Case cases[] = {
        {{60, 1}, {120, 2}, true},
        {{60000, 1001}, {60, 1}, false},
        {{big, big - 1}, {big, big - 1}, true},
        {{big, big - 1}, {big - 1, big - 2}, false},
        // The cross products wrap to the same 64-bit value (2^64 and 0); the rates differ.
        {{qint64(1) << 32, 1}, {0, qint64(1) << 32}, false},
        {{60, 0}, {30, 0}, false},  // no rate: only an identical value matches
        {{60, 0}, {60, 0}, true},
        {{0, 1}, {60, 0}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sameRate(c.a, c.b), c.same)
            << c.a.id().toStdString() << " " << c.b.id().toStdString();
        EXPECT_EQ(sameRate(c.b, c.a), c.same);
    }
}

}  // namespace
}  // namespace velmar
