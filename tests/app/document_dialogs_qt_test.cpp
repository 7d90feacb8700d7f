// The document alerts on real Qt widgets, offscreen: which button each key answers.
#include "app/document_dialogs_qt.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace velmar {
namespace {

using Role = DocumentDialogs::ButtonRole;
using Alert = DocumentDialogs::Alert;

// The two alerts that can take the show off air or throw work away, as the workflow builds them.
Alert onAirAlert() {
    return {"送出中です", "", {{"黒にして開く", Role::destructive}, {"キャンセル", Role::reject}}};
}
Alert unsavedAlert() {
    return {
        "変更を保存しますか？",
        "",
        {{"保存", Role::accept}, {"保存しない", Role::destructive}, {"キャンセル", Role::reject}}};
}
Alert recoveryAlert() {
    return {"前回の作業が残っています",
            "",
            {{"復帰する", Role::accept}, {"破棄する", Role::destructive}}};
}

constexpr int kUnanswered = -2;

// Runs the alert through the real box; once it is up, `act` gets it. A box that the action left
// open is closed from outside and counts as unanswered.
int answer(const Alert& alert, std::function<void(QMessageBox&)> act) {
    DocumentDialogsQt dialogs;
    bool leftOpen = false;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        act(*box);
        QCoreApplication::processEvents();
        if (box->isVisible()) {
            leftOpen = true;
            box->done(0);
        }
    });
    const int chosen = dialogs.runAlert(alert, nullptr);
    return leftOpen ? kUnanswered : chosen;
}

// A key as the operator presses it: to the widget that holds the focus in the box.
int answerKey(const Alert& alert, Qt::Key key) {
    return answer(alert, [key](QMessageBox& box) {
        QWidget* target = box.focusWidget() ? box.focusWidget() : &box;
        QTest::keyClick(target, key);
    });
}

int clickOn(const Alert& alert, const QString& title) {
    return answer(alert, [title](QMessageBox& box) {
        for (QAbstractButton* button : box.buttons())
            if (button->text() == title) QTest::mouseClick(button, Qt::LeftButton);
    });
}

TEST(DocumentDialogsQt, KeysNeverChooseTheDestructiveAnswer) {
    // On air, opening a project: Return and Space (the cut keys) cancel, as does Escape.
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space, Qt::Key_Escape})
        EXPECT_EQ(answerKey(onAirAlert(), key), 1) << "key " << key;
    EXPECT_EQ(clickOn(onAirAlert(), "黒にして開く"), 0) << "a click still takes it";

    // Unsaved changes: Return and Space save, Escape cancels, only a click throws them away.
    EXPECT_EQ(answerKey(unsavedAlert(), Qt::Key_Return), 0);
    EXPECT_EQ(answerKey(unsavedAlert(), Qt::Key_Space), 0);
    EXPECT_EQ(answerKey(unsavedAlert(), Qt::Key_Escape), 2);
    EXPECT_EQ(clickOn(unsavedAlert(), "保存しない"), 1);

    // No cancel button: Return restores, Escape does nothing, discarding takes a click.
    EXPECT_EQ(answerKey(recoveryAlert(), Qt::Key_Return), 0);
    EXPECT_EQ(answerKey(recoveryAlert(), Qt::Key_Escape), kUnanswered);
    EXPECT_EQ(clickOn(recoveryAlert(), "破棄する"), 1);

    // A box of destructive buttons alone has no default: Return answers nothing.
    const Alert overwriteOnly{"同じ名前のファイルがあります", "", {{"上書き", Role::destructive}}};
    EXPECT_EQ(overwriteOnly.defaultIndex(), -1);
    EXPECT_EQ(
        answer(overwriteOnly, [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); }),
        kUnanswered);
}

}  // namespace
}  // namespace velmar
