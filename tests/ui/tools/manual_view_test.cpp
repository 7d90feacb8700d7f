// The manual: the shortcut mapping, every line of both languages as the view shows it against
// the lines kept as test data, the redraw on a language change, and the window.
#include "ui/tools/manual_view.h"
#include "ui/tools/manual_content.h"
#include "ui/tools/manual_window_controller.h"

#include "models/language_settings.h"
#include "support/qt_printers.h"

#include <QCoreApplication>
#include <QFile>

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(ManualContent, ShortcutSymbolsBecomeThisPlatformsKeyNames) {
    const std::pair<QString, QString> cases[] = {
        {"ESC / ⌘. : 緊急停止", "ESC / Ctrl+. : 緊急停止"},
        {"⌥→ / ⌥← : 次", "Alt+→ / Alt+← : 次"},
        {"⌘⌥→ : move", "Ctrl+Alt+→ : move"},
        {"⌘⌫ : delete the selection", "Ctrl+Backspace : delete the selection"},
        {"⌘-click : select one by one", "Ctrl-click : select one by one"},
        {"⌘7 cut / ⌘5 fade / ⌘- reset", "Ctrl+7 cut / Ctrl+5 fade / Ctrl+- reset"},
        {"⌃⇧S", "Meta+⇧S"},
        {"⇧L / ⇧J : 10％", "⇧L / ⇧J : 10％"},
    };
    for (const auto& [line, shown] : cases)
        EXPECT_EQ(ManualContent::platformShortcutText(line), shown) << line.toStdString();
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
            lines << ManualContent::platformShortcutText(line);
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
