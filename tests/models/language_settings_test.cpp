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

TEST(FormatMessage, InsertsValuesAfterLookupInOrder) {
    EXPECT_EQ(formatMessage("%lld 件を追加しました", {FormatArg(3LL)}), "3 件を追加しました");
    EXPECT_EQ(formatMessage("%@: %lld / %lld",
                            {FormatArg(QString("A")), FormatArg(2LL), FormatArg(10LL)}),
              "A: 2 / 10");
    EXPECT_EQ(formatMessage("%.2f 秒", {FormatArg(1.005)}), "1.00 秒");  // binary 1.00499...
    EXPECT_EQ(formatMessage("%.2f", {FormatArg(-0.125)}), "-0.12");
    EXPECT_EQ(formatMessage("%.2f", {FormatArg(2LL)}), "2.00");
    EXPECT_EQ(formatMessage("100%%", {}), "100%");
    EXPECT_EQ(formatMessage("%2$@ then %1$@", {FormatArg(QString("a")), FormatArg(QString("b"))}),
              "b then a");
    EXPECT_EQ(formatMessage("%@", {FormatArg(QString())}), "");
}

TEST(FormatMessage, MissingOrMismatchedValuesLeaveThePlaceholder) {
    EXPECT_EQ(formatMessage("%lld and %lld", {FormatArg(1LL)}), "1 and %lld");
    EXPECT_EQ(formatMessage("%lld", {FormatArg(QString("x"))}), "%lld");
    EXPECT_EQ(formatMessage("%@", {FormatArg(5LL)}), "%@");
    EXPECT_EQ(formatMessage("50% off %q", {}), "50% off %q");
    EXPECT_EQ(formatMessage("end %", {}), "end %");
    EXPECT_EQ(formatMessage("%9$@", {FormatArg(QString("x"))}), "%9$@");
}

}  // namespace
}  // namespace velmar
