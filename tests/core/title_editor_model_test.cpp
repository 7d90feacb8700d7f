#include "core/title_editor_model.h"

#include "support/fake_clock.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace velmar {
namespace {

using namespace Qt::Literals::StringLiterals;

TitleDocument named(const char* name) {
    TitleDocument doc;
    doc.name = QString::fromUtf8(name);
    return doc;
}

struct TitleEditorModelTest : ::testing::Test {
    test::FakeClock clock;
    TitleEditorModel model{named("a"), clock};
    QString name() const { return model.document().name; }
};

TEST_F(TitleEditorModelTest, TypingCoalescesWithinTheWindowOnly) {
    QSignalSpy changed(&model, &TitleEditorModel::documentChanged);
    model.apply(named("ab"), u"name"_s);
    clock.advance(0.5);
    model.apply(named("abc"), u"name"_s);
    EXPECT_EQ(model.undoManager()->count(), 1);
    clock.advance(2.0);  // a pause opens a new step
    model.apply(named("abcd"), u"name"_s);
    model.apply(named("abcd!"), u"other"_s);  // another field: another step
    EXPECT_EQ(model.undoManager()->count(), 3);
    EXPECT_EQ(changed.count(), 4);

    for (int i = 0; i < 3; ++i) model.undo();
    EXPECT_FALSE(model.coalescingKey().has_value());
    EXPECT_EQ(name(), u"a"_s);
    model.redo();
    EXPECT_EQ(name(), u"abc"_s);
    // After undo the next change never merges into a step that is no longer open.
    model.apply(named("x"), u"name"_s);
    model.apply(named("xy"), u"name"_s);
    model.undo();
    EXPECT_EQ(name(), u"abc"_s);
}

TEST_F(TitleEditorModelTest, SliderDragIsOneStep) {
    model.beginSliderEdit(u"fontSize"_s);
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

TEST_F(TitleEditorModelTest, StyleEditIsOneStepAndBlocksUndo) {
    model.apply(named("b"));
    model.beginStyleEdit();
    ASSERT_TRUE(model.styleSnapshot().has_value());
    model.setDocumentWithoutRecording(named("preview"));
    model.apply(named("styled"));
    const int index = model.undoManager()->index();
    model.undo();  // blocked while the style edit is open
    model.redo();
    EXPECT_EQ(name(), u"styled"_s);
    EXPECT_EQ(model.undoManager()->index(), index);
    model.endStyleEdit(true);
    EXPECT_EQ(model.undoManager()->count(), 2);
    model.undo();
    EXPECT_EQ(name(), u"b"_s);

    model.beginStyleEdit();  // a cancelled style edit leaves no trace
    model.setDocumentWithoutRecording(named("tried"));
    model.endStyleEdit(false);
    EXPECT_EQ(name(), u"b"_s);
    EXPECT_EQ(model.undoManager()->count(), 2);
}

}  // namespace
}  // namespace velmar
