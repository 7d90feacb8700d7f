// The manual: the keys as this platform names them, every line of both languages as the view
// shows it against the lines kept as test data, the redraw on a language change, and the window.
#include "ui/tools/manual_view.h"
#include "ui/tools/manual_content.h"
#include "ui/tools/manual_window_controller.h"

#include "models/language_settings.h"
#include "support/qt_printers.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace velmar {
namespace {

// The keys of a line in order, as "Ctrl+Shift+T": a chain of modifiers and the key after it
// ("click" for a click in either language).
QStringList keysOf(const QString& line) {
    static const QRegularExpression chord(R"(((?:(?:Ctrl|Shift|Alt|Meta)\+)+)(click|クリック|\S))");
    QStringList keys;
    for (const auto& m : chord.globalMatch(line)) {
        const QString key = m.captured(2) == QStringLiteral("クリック") ? "click" : m.captured(2);
        keys << m.captured(1) + key;
    }
    return keys;
}

// Keys are written as this platform names them, and both languages name the same keys on the
// same line.
TEST(ManualContent, WritesThisPlatformsKeysTheSameInBothLanguages) {
    const auto& ja = ManualContent::japanese();
    const auto& en = ManualContent::english();
    ASSERT_EQ(ja.size(), en.size());
    for (const auto* sections : {&ja, &en}) {
        for (const auto& section : *sections) {
            for (const QString& line : section.body) {
                for (const QChar sign : {u'⌘', u'⇧', u'⌥', u'⌃', u'⌫'})
                    EXPECT_FALSE(line.contains(sign)) << line.toStdString();
            }
        }
    }
    int chords = 0;
    for (qsizetype s = 0; s < ja.size(); ++s) {
        ASSERT_EQ(ja[s].body.size(), en[s].body.size()) << en[s].title.toStdString();
        for (qsizetype i = 0; i < ja[s].body.size(); ++i) {
            EXPECT_EQ(keysOf(ja[s].body[i]).join(' ').toStdString(),
                      keysOf(en[s].body[i]).join(' ').toStdString());
            chords += int(keysOf(en[s].body[i]).size());
        }
    }
    EXPECT_EQ(keysOf(en[5].body[5]), QStringList({"Ctrl+Shift+T"}));
    EXPECT_GT(chords, 40);
}

// The lines of one language as kept in test data: "# title" opens a section.
std::pair<QStringList, QStringList> linesFromTestData(const char* language) {
    QFile file(
        QStringLiteral(VELMAR_SOURCE_DIR "/tests/ui/tools/manual_lines_%1.txt").arg(language));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QStringList titles, lines;
    for (const QString& line : QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith("# "))
            titles << line.mid(2);
        else
            lines << line;
    }
    return {titles, lines};
}

TEST(ManualView, ShowsEveryLineOfTheEffectiveLanguageAndFollowsAChange) {
    LanguageSettings& language = LanguageSettings::shared();
    language.setLanguage(AppLanguage::ja);
    ManualView view(language);
    const auto [jaTitles, jaLines] = linesFromTestData("ja");
    EXPECT_EQ(view.shownTitles(), jaTitles);
    EXPECT_EQ(view.shownLines(), jaLines);
    EXPECT_EQ(jaLines.size(), 49);

    language.setLanguage(AppLanguage::en);
    const auto [enTitles, enLines] = linesFromTestData("en");
    EXPECT_EQ(view.shownTitles(), enTitles);
    EXPECT_EQ(view.shownLines(), enLines);
    language.setLanguage(AppLanguage::ja);
}

TEST(ManualWindow, KeepsItsTitleAndIsBuiltAnewAfterClosing) {
    LanguageSettings& language = LanguageSettings::shared();
    language.setLanguage(AppLanguage::ja);
    ManualWindowController controller(&language);
    controller.show();
    QWidget* window = controller.window();
    EXPECT_EQ(window->objectName(), "velmar.manual");
    language.setLanguage(AppLanguage::en);
    controller.show();
    EXPECT_EQ(controller.window(), window);
    EXPECT_EQ(window->windowTitle(), "DOVRINE マニュアル");
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    controller.show();
    EXPECT_EQ(controller.window()->windowTitle(), "DOVRINE Manual");
    language.setLanguage(AppLanguage::ja);
}

}  // namespace
}  // namespace velmar
