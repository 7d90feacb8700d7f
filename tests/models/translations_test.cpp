// Every string the code looks up must have an English translation with the same placeholders,
// and the compiled translations must be the ones the program finds at run time.
#include "models/language_settings.h"
#include "models/localized.h"
#include "support/qt_printers.h"
#include "support/translation_table.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace velmar {
namespace {

const QString sourceDir = QStringLiteral(VELMAR_SOURCE_DIR);

QString unescape(QString literal) {
    return literal.replace("\\n", "\n")
        .replace("\\t", "\t")
        .replace("\\\"", "\"")
        .replace("\\\\", "\\");
}

// Keys used in code: the first literal argument of localized, localizedFormat and L10N_KEY.
QMap<QString, QString> keysInCode() {
    static const QRegularExpression call(
        R"re(\b(?:localized|localizedFormat|L10N_KEY)\(\s*"((?:[^"\\]|\\.)*)")re");
    QMap<QString, QString> keys;  // key -> first place it is used
    QDirIterator it(sourceDir + "/src", {"*.cpp", "*.h"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) continue;
        for (const auto& m : call.globalMatch(QString::fromUtf8(f.readAll()))) {
            const QString key = unescape(m.captured(1));
            if (!keys.contains(key)) keys.insert(key, QDir(sourceDir).relativeFilePath(path));
        }
    }
    return keys;
}

QMap<QString, QString> translationsInFiles() {
    QStringList errors;
    const auto out = test::englishTranslations(sourceDir, &errors);
    EXPECT_TRUE(errors.isEmpty()) << errors.join('\n').toStdString();
    return out;
}

QStringList placeholders(const QString& text) {
    static const QRegularExpression p(R"(%(?:\d+\$)?(?:lld|ld|d|@|\.\d+f|f))");
    QStringList out;
    for (const auto& m : p.globalMatch(text))
        out << m.captured(0).remove(QRegularExpression(R"(\d+\$)"));
    out.sort();
    return out;
}

TEST(Translations, EveryKeyInCodeHasAnEnglishTranslationWithTheSamePlaceholders) {
    const auto keys = keysInCode();
    const auto translations = translationsInFiles();
    for (auto it = keys.begin(); it != keys.end(); ++it) {
        const QString& key = it.key();
        const QString english = translations.value(key);
        EXPECT_FALSE(english.trimmed().isEmpty()) << "no English for \"" << key.toStdString()
                                                  << "\" used in " << it.value().toStdString();
        EXPECT_EQ(placeholders(english), placeholders(key)) << key.toStdString();
    }
}

// English writes a range with an en dash ("1–9", "0 – 100 %"), never the Japanese wave dash.
TEST(Translations, EnglishRangesUseAnEnDash) {
    const auto translations = translationsInFiles();
    for (const QString& english : translations)
        EXPECT_FALSE(english.contains(u'〜')) << english.toStdString();
}

// No text in either language names the other platform's renderer or texture-sharing framework
// (the feed's button keeps its name "OBS(Syphon)").
TEST(Translations, NoTextNamesAnotherPlatformsFrameworks) {
    const auto translations = translationsInFiles();
    QStringList texts = keysInCode().keys();
    for (auto it = translations.begin(); it != translations.end(); ++it)
        texts << it.key() << it.value();
    for (QString text : texts) {
        text.remove(QStringLiteral("OBS(Syphon)"));
        EXPECT_FALSE(text.contains("Metal") || text.contains("Syphon")) << text.toStdString();
    }
}

TEST(Translations, CompiledTranslationsAreTheOnesLookedUp) {
    const auto translations = translationsInFiles();
    for (auto it = translations.begin(); it != translations.end(); ++it) {
        EXPECT_EQ(localized(it.key(), AppLanguage::en), it.value()) << it.key().toStdString();
        EXPECT_EQ(localized(it.key(), AppLanguage::ja), it.key());
    }
    const QString unknown = QStringLiteral("存在しないキー");
    EXPECT_EQ(localized(unknown, AppLanguage::en), unknown) << "a missing key shows the literal";
}

}  // namespace
}  // namespace velmar
