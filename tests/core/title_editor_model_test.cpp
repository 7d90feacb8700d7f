#include "core/title_editor_model.h"

#include "support/fake_clock.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace velmar {
namespace {

TitleDocument named(const char* name) {
    TitleDocument doc;
    doc.name = QString::fromUtf8(name);
    return doc;
}

TEST(TitleEditorModelTest, TypingCoalescesWithinTheWindowOnly) {
    test::FakeClock clock;
    TitleEditorModel model(named("a"), clock);
    QSignalSpy changed(&model, &TitleEditorModel::documentChanged);
    model.apply(named("ab"), QStringLiteral("name"));
    clock.advance(0.5);
    model.apply(named("abc"), QStringLiteral("name"));
    EXPECT_EQ(model.undoManager()->count(), 1);
    clock.advance(2.0);  // a pause opens a new step
    model.apply(named("abcd"), QStringLiteral("name"));
    model.apply(named("abcd!"), QStringLiteral("other"));  // another field: another step
    EXPECT_EQ(model.undoManager()->count(), 3);
    EXPECT_EQ(changed.count(), 4);

    model.undo();
    EXPECT_FALSE(model.coalescingKey().has_value());
    model.undo();
    model.undo();
    EXPECT_EQ(model.document().name, QStringLiteral("a"));
    model.redo();
    EXPECT_EQ(model.document().name, QStringLiteral("abc"));
    // After undo the next change never merges into a step that is no longer open.
    model.apply(named("x"), QStringLiteral("name"));
    model.apply(named("xy"), QStringLiteral("name"));
    model.undo();
    EXPECT_EQ(model.document().name, QStringLiteral("abc"));
}

TEST(TitleEditorModelTest, SliderDragIsOneStep) {
    test::FakeClock clock;
    TitleEditorModel model(named("a"), clock);
    model.beginSliderEdit(QStringLiteral("fontSize"));
    for (int i = 0; i < 5; ++i) {
        TitleDocument doc = model.document();
        doc.templateFields.append(QString::number(i));
        model.apply(doc);
        clock.advance(3.0);  // slow drags stay one step
    }
    model.endSliderEdit();
    EXPECT_EQ(model.undoManager()->count(), 1);
    model.undo();
    EXPECT_TRUE(model.document().templateFields.isEmpty());
}

TEST(TitleEditorModelTest, StyleEditIsOneStepAndBlocksUndo) {
    test::FakeClock clock;
    TitleEditorModel model(named("a"), clock);
    model.apply(named("b"));
    model.beginStyleEdit();
    ASSERT_TRUE(model.styleSnapshot().has_value());
    model.setDocumentWithoutRecording(named("preview"));
    model.apply(named("styled"));
    const int index = model.undoManager()->index();
    model.undo();  // blocked while the style edit is open
    model.redo();
    EXPECT_EQ(model.document().name, QStringLiteral("styled"));
    EXPECT_EQ(model.undoManager()->index(), index);
    model.endStyleEdit(true);
    EXPECT_EQ(model.undoManager()->count(), 2);
    model.undo();
    EXPECT_EQ(model.document().name, QStringLiteral("b"));

    model.beginStyleEdit();  // a cancelled style edit leaves no trace
    model.setDocumentWithoutRecording(named("tried"));
    model.endStyleEdit(false);
    EXPECT_EQ(model.document().name, QStringLiteral("b"));
    EXPECT_EQ(model.undoManager()->count(), 2);
}

}  // namespace
}  // namespace velmar
