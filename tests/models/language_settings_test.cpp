#include "models/language_settings.h"
#include "models/localized.h"
#include "support/qt_printers.h"

#include "platform/base/user_defaults.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmar {
namespace {

struct LanguageFixture : ::testing::Test {
    QTemporaryDir dir;
    UserDefaults defaults{dir.path() + "/d.json"};
    QStringList system{"en-US"};
    LanguageSettings make() {
        return LanguageSettings(defaults, [this] { return system; });
    }
};

TEST_F(LanguageFixture, FirstStartFollowsTheSystemsFirstPreferredLanguage) {
    struct Case {
        QStringList preferred;
        AppLanguage effective;
    };
    const Case cases[] = {
        {{"ja-JP", "en-US"}, AppLanguage::ja}, {{"ja"}, AppLanguage::ja},
        {{"ja-Latn-US"}, AppLanguage::ja},     {{"en-GB", "ja-JP"}, AppLanguage::en},
        {{"fr-FR"}, AppLanguage::en},          {{}, AppLanguage::en},
    };
    for (const Case& c : cases) {
        system = c.preferred;
        LanguageSettings settings = make();
        EXPECT_EQ(settings.language(), AppLanguage::system);
        EXPECT_EQ(settings.effective(), c.effective) << c.preferred.join(',').toStdString();
    }
    EXPECT_FALSE(defaults.contains("appLanguage")) << "creation writes nothing";
}

TEST_F(LanguageFixture, StoredValuesOtherThanJaOrEnReadAsSystem) {
    for (const char* stored : {"fr", "", "JA", "system"}) {
        defaults.set("appLanguage", QString::fromUtf8(stored));
        EXPECT_EQ(make().language(), AppLanguage::system) << stored;
    }
    defaults.set("appLanguage", true);  // wrong type
    EXPECT_EQ(make().language(), AppLanguage::system);
    for (AppLanguage l : allAppLanguages) {
        defaults.set("appLanguage", rawValue(l));
        EXPECT_EQ(make().language(), l);
    }
}

TEST_F(LanguageFixture, ChoosingWritesBothKeysAndSystemRemovesThePreferredList) {
    system = {"ja-JP"};
    LanguageSettings settings = make();
    QSignalSpy changed(&settings, &LanguageSettings::languageChanged);
    settings.setLanguage(AppLanguage::en);
    EXPECT_EQ(defaults.string("appLanguage"), QStringLiteral("en"));
    EXPECT_EQ(defaults.stringList("AppleLanguages"), QStringList{"en"});
    EXPECT_EQ(settings.effective(), AppLanguage::en);

    settings.setLanguage(AppLanguage::en);  // same value: stored again, no change signal
    EXPECT_EQ(changed.count(), 1);

    settings.setLanguage(AppLanguage::system);
    EXPECT_EQ(defaults.string("appLanguage"), QStringLiteral("system"));
    EXPECT_FALSE(defaults.contains("AppleLanguages"));
    EXPECT_EQ(settings.effective(), AppLanguage::ja);
    EXPECT_EQ(changed.count(), 2);

    settings.setLanguage(AppLanguage::ja);
    EXPECT_EQ(defaults.stringList("AppleLanguages"), QStringList{"ja"});
}

// Values go in after lookup, in order; missing or mismatched values leave the placeholder.
TEST(FormatMessage, InsertsValuesOrLeavesThePlaceholder) {
    const FormatArg a(QString("a")), b(QString("b")), one(1LL), two(2LL);
    const std::pair<QString, const char*> cases[] = {
        {formatMessage("%lld 件", {FormatArg(3LL)}), "3 件"},
        {formatMessage("%@: %lld / %lld", {a, two, FormatArg(10LL)}), "a: 2 / 10"},
        {formatMessage("%.2f 秒", {FormatArg(1.005)}), "1.00 秒"},  // binary 1.00499...
        {formatMessage("%.2f", {FormatArg(-0.125)}), "-0.12"},
        {formatMessage("%.2f", {two}), "2.00"},
        {formatMessage("100%%", {}), "100%"},
        {formatMessage("%2$@ then %1$@", {a, b}), "b then a"},
        {formatMessage("%@", {FormatArg(QString())}), ""},
        {formatMessage("%lld and %lld", {one}), "1 and %lld"},
        {formatMessage("%lld", {a}), "%lld"},
        {formatMessage("%@", {one}), "%@"},
        {formatMessage("50% off %q", {}), "50% off %q"},
        {formatMessage("end %", {}), "end %"},
        {formatMessage("%9$@", {a}), "%9$@"},
    };
    for (const auto& [formatted, expected] : cases)
        EXPECT_EQ(formatted, QString::fromUtf8(expected));
}

}  // namespace
}  // namespace velmar
