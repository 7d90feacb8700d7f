// The import button of the assembled control window opens the real file panels: its "files…"
// entry picks files of any type, its "folder…" entry picks folders.
#include "ui/control_window_harness.h"
#include "ui/window/take_column.h"

#include <QApplication>
#include <QFileDialog>
#include <QMenu>

#include <gtest/gtest.h>

namespace velmar {
namespace {

QFileDialog* openPanel() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QFileDialog*>(widget); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

TEST(ImportPanels, FilesEntryTakesAnyFileAndFolderEntryTakesFolders) {
    test::ControlWindowHarness harness({.noCanvas = true});
    QMenu* menu = harness.view->takeColumn()->importMenu();
    ASSERT_EQ(menu->actions().size(), 2);

    menu->actions()[0]->trigger();  // files…
    QFileDialog* files = openPanel();
    ASSERT_NE(files, nullptr);
    EXPECT_EQ(files->fileMode(), QFileDialog::ExistingFiles);
    EXPECT_EQ(files->nameFilters(), QStringList{"All Files (*)"}) << "no restriction of type";
    files->reject();
    ASSERT_EQ(openPanel(), nullptr);

    menu->actions()[1]->trigger();  // folder…
    QFileDialog* folder = openPanel();
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->fileMode(), QFileDialog::Directory);
    folder->reject();
}

}  // namespace
}  // namespace velmar
