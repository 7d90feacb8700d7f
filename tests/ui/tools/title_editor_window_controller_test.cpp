// The title-editor registry with two offscreen editor windows: per-window undo, the command-key
// table, sheets, and forgetting a window on close and on destruction.
#include "ui/tools/title_editor_window_controller.h"

#include "core/title_editor_model.h"
#include "support/fake_clock.h"
#include "support/qt_printers.h"

#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QVBoxLayout>

#include <gtest/gtest.h>

namespace velmar {
namespace {

struct TitleEditorRegistryTest : ::testing::Test {
    test::FakeClock clock;
    TitleEditorWindowController registry;
    std::unique_ptr<QWidget> first = std::make_unique<QWidget>();
    std::unique_ptr<QWidget> second = std::make_unique<QWidget>();
    TitleEditorModel* firstModel = nullptr;
    TitleEditorModel* secondModel = nullptr;

    void SetUp() override {
        firstModel = add(first.get(), "one");
        secondModel = add(second.get(), "two");
    }

    TitleEditorModel* add(QWidget* window, const char* name) {
        TitleDocument doc;
        doc.name = name;
        auto model = std::make_unique<TitleEditorModel>(doc, clock);
        TitleEditorModel* raw = model.get();
        registry.registerWindow(window, std::move(model));
        doc.name += " edited";
        raw->apply(doc);
        return raw;
    }

    bool press(QWidget* window, int key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier) {
        const QKeyEvent event(QEvent::KeyPress, key, modifiers);
        return registry.handleKeyEvent(event, window);
    }
};

TEST_F(TitleEditorRegistryTest, UndoAndRedoReachOnlyTheModelOfTheKeyWindowOrItsSheet) {
    EXPECT_EQ(first->objectName(), "dovrine.titleEditor");
    EXPECT_EQ(registry.windowWillReturnUndoManager(second.get()), secondModel->undoManager());
    EXPECT_EQ(registry.windows(), QList<QWidget*>({first.get(), second.get()}));

    EXPECT_TRUE(registry.takesKeyEvent(QKeyEvent(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier),
                                       second.get()));
    EXPECT_EQ(secondModel->document().name, "two edited");  // asking undid nothing
    EXPECT_TRUE(press(second.get(), Qt::Key_Z));
    EXPECT_EQ(secondModel->document().name, "two");
    EXPECT_EQ(firstModel->document().name, "one edited");
    EXPECT_TRUE(press(second.get(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier));
    EXPECT_EQ(secondModel->document().name, "two edited");

    QDialog sheet(first.get());  // a sheet acts for the window it belongs to
    sheet.setWindowModality(Qt::WindowModal);
    EXPECT_TRUE(press(&sheet, Qt::Key_Z));
    EXPECT_EQ(firstModel->document().name, "one");
    QWidget unregistered;
    EXPECT_FALSE(press(&unregistered, Qt::Key_Z));
}

TEST_F(TitleEditorRegistryTest, CommandKeysPostCommandsPassOrAreSwallowed) {
    std::vector<std::pair<TitleEditorModel*, QVariantMap>> posted;
    QObject::connect(&registry, &TitleEditorWindowController::commandPosted,
                     [&posted](TitleEditorModel* model, const QVariantMap& userInfo) {
                         posted.emplace_back(model, userInfo);
                     });
    auto* layout = new QVBoxLayout(first.get());
    auto* field = new QLineEdit;
    layout->addWidget(field);
    struct Case {
        int key;
        Qt::KeyboardModifiers modifiers;
        bool consumed;
        QString command;  // empty: none posted
    };
    const Case cases[] = {
        {Qt::Key_S, Qt::ControlModifier, true, "s"},
        {Qt::Key_D, Qt::ControlModifier | Qt::AltModifier, true, "d"},
        {Qt::Key_Backspace, Qt::ControlModifier, true, "delete"},
        {Qt::Key_A, Qt::ControlModifier, true, "select-all"},
        {Qt::Key_C, Qt::ControlModifier, false, ""},
        {Qt::Key_Q, Qt::ControlModifier, false, ""},
        {Qt::Key_B, Qt::ControlModifier, true, ""},
        {Qt::Key_S, Qt::NoModifier, false, ""},
    };
    for (const Case& c : cases) {
        // Asking first runs nothing: the menus ask before the press is handled.
        posted.clear();
        const QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers);
        EXPECT_EQ(registry.takesKeyEvent(event, first.get()), c.consumed) << c.key;
        EXPECT_TRUE(posted.empty());
        EXPECT_EQ(press(first.get(), c.key, c.modifiers), c.consumed) << c.key;
        ASSERT_EQ(posted.size(), c.command.isEmpty() ? 0u : 1u) << c.key;
        if (c.command.isEmpty()) continue;
        EXPECT_EQ(posted[0].first, firstModel);
        EXPECT_EQ(posted[0].second.value("command").toString(), c.command);
    }
    // With a text field focused, Ctrl+A selects its text; Ctrl+Backspace still deletes.
    first->show();
    first->activateWindow();
    field->setFocus();
    ASSERT_EQ(first->focusWidget(), field);
    posted.clear();
    EXPECT_FALSE(press(first.get(), Qt::Key_A));
    EXPECT_FALSE(registry.takesKeyEvent(QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier),
                                        first.get()));
    EXPECT_TRUE(press(first.get(), Qt::Key_Backspace));
    EXPECT_EQ(posted.size(), 1u);
}

TEST_F(TitleEditorRegistryTest, ClosingForgetsTheWindowAndReleasesItsModel) {
    QPointer<TitleEditorModel> model(firstModel);
    first->show();
    first->close();
    EXPECT_TRUE(model.isNull());
    EXPECT_EQ(registry.windows(), QList<QWidget*>({second.get()}));
    EXPECT_FALSE(press(first.get(), Qt::Key_Z));
    EXPECT_EQ(registry.windowWillReturnUndoManager(first.get()), nullptr);
}

// Mended: a window destroyed without closing left its model registered under its address, so a
// later window at that address undid in the old document.
TEST_F(TitleEditorRegistryTest, DestroyingAWindowWithoutClosingForgetsItToo) {
    QPointer<TitleEditorModel> model(secondModel);
    const QWidget* address = second.get();
    second.reset();
    EXPECT_TRUE(model.isNull());
    EXPECT_EQ(registry.windows(), QList<QWidget*>({first.get()}));
    EXPECT_EQ(registry.editor(address), nullptr);
}

}  // namespace
}  // namespace velmar
