// The small shared controls: glossy styling, logo size, checkerboard, divider, number field and
// scrubbable value.
#include "support/event_loop.h"
#include "ui/controls/aqua.h"
#include "ui/controls/brand.h"
#include "ui/controls/checkerboard_background.h"
#include "ui/controls/number_field.h"
#include "ui/controls/panel_divider.h"
#include "ui/controls/scrubbable_value.h"

#include "ui/mouse_drag.h"

#include <QDialog>
#include <QImage>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace velmar {
namespace {

TEST(Aqua, SectionPaletteRepeatsEveryEightIncludingNegativeIndices) {
    struct Case {
        int index;
        float r, g, b;
    };
    for (const Case& c : {Case{0, 0.26f, 0.52f, 0.85f}, Case{8, 0.26f, 0.52f, 0.85f},
                          Case{3, 0.68f, 0.38f, 0.72f}, Case{7, 0.48f, 0.52f, 0.78f},
                          Case{-1, 0.48f, 0.52f, 0.78f}, Case{-8, 0.26f, 0.52f, 0.85f}}) {
        const QColor color = Aqua::sectionColor(c.index);
        EXPECT_NEAR(color.redF(), c.r, 1e-3) << c.index;
        EXPECT_NEAR(color.greenF(), c.g, 1e-3) << c.index;
        EXPECT_NEAR(color.blueF(), c.b, 1e-3) << c.index;
    }
}

TEST(Aqua, GlossyMultipliesTheColoursOwnOpacityAndShineEndsAtHalfHeight) {
    const QColor halfRed = QColor::fromRgbF(1, 0, 0, 0.5);
    const auto bright = Aqua::glossy(halfRed, true).stops();
    ASSERT_EQ(bright.size(), 2);
    EXPECT_NEAR(bright[0].second.alphaF(), 0.5, 0.005);
    EXPECT_NEAR(bright[1].second.alphaF(), 0.36, 0.005);
    const auto dull = Aqua::glossy(Qt::red, false).stops();
    EXPECT_NEAR(dull[0].second.alphaF(), 0.85, 0.005);
    EXPECT_NEAR(dull[1].second.alphaF(), 0.55, 0.005);

    // Filled over black in a 100-high box: bright at the top, clear from half-way down.
    QImage image(1, 100, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    {
        QPainter painter(&image);
        painter.fillRect(QRectF(0, 0, 1, 100), Aqua::shine());
    }
    EXPECT_NEAR(qRed(image.pixel(0, 0)), 0.34 * 255, 2);
    EXPECT_NEAR(qRed(image.pixel(0, 47)), 0.10 * 255, 3);
    EXPECT_EQ(qRed(image.pixel(0, 60)), 0);
}

TEST(Brand, LogoWidthRoundsHeightTimesAspectAndUsesThreeWithoutHeight) {
    EXPECT_EQ(Brand::logoWidth(45, {600, 200}), 135);
    EXPECT_EQ(Brand::logoWidth(27.9, {600, 200}), 84);  // 83.7
    EXPECT_EQ(Brand::logoWidth(45, {600, 0}), 135);
    EXPECT_EQ(Brand::logoWidth(0.5, {1, 1}), 1);  // halves away from zero
    ASSERT_TRUE(Brand::logoImage().has_value()) << "the logo resource is not linked in";
    EXPECT_GT(Brand::logoImage()->width(), Brand::logoImage()->height());
}

QImage checkerboard(QSize size, double square) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter painter(&image);
    CheckerboardBackground::paint(painter, QRectF(QPointF(0, 0), QSizeF(size)), square);
    return image;
}

TEST(CheckerboardBackground, LightSquaresWhereRowPlusColumnIsEvenAndCutAtTheEdges) {
    const QImage image = checkerboard({25, 25}, 10);
    const int light = qRound(0.30 * 255);
    const int base = qRound(0.22 * 255);
    struct Cell {
        int x, y;
        bool light;
    };
    for (const Cell& c : {Cell{5, 5, true}, Cell{15, 5, false}, Cell{22, 5, true},
                          Cell{5, 15, false}, Cell{15, 15, true}, Cell{22, 22, true},
                          Cell{15, 22, false}, Cell{9, 9, true}, Cell{10, 9, false}}) {
        EXPECT_NEAR(qGreen(image.pixel(c.x, c.y)), c.light ? light : base, 1) << c.x << "," << c.y;
    }
}

TEST(CheckerboardBackground, SquareOfZeroNegativeOrNotFiniteDrawsTheBaseGreyOnly) {
    const int base = qRound(0.22 * 255);
    for (double square : {0.0, -4.0, std::numeric_limits<double>::quiet_NaN(),
                          std::numeric_limits<double>::infinity()}) {
        const QImage image = checkerboard({12, 12}, square);
        EXPECT_NEAR(qGreen(image.pixel(1, 1)), base, 1) << square;
        EXPECT_NEAR(qGreen(image.pixel(11, 11)), base, 1) << square;
    }
}

TEST(PanelDivider, DraggedWidthStartsFromTheStartAndClampsToTheRange) {
    struct Case {
        double start, translation, direction, expected;
    };
    for (const Case& c :
         {Case{200, -30, -1, 230}, Case{200, -80, -1, 248}, Case{200, 70, -1, 150},
          Case{160, -30, -1, 190}, Case{160, -100, -1, 248}, Case{160, 30, 1, 190}}) {
        EXPECT_DOUBLE_EQ(PanelDivider::draggedWidth(c.start, c.translation, 150, 248, c.direction),
                         c.expected)
            << c.start << " " << c.translation;
    }
}

TEST(PanelDivider, EachDragMeasuresFromTheWidthItFoundAndTinyMovesChangeNothing) {
    double width = 200;
    int writes = 0;
    PanelDivider divider({[&] { return width; },
                          [&](double w) {
                              width = w;
                              ++writes;
                          }},
                         150, 248, -1);
    divider.setScale(0.5);  // one design unit is half a pixel
    divider.resize(6, 100);
    {
        test::MouseDrag drag(divider, {3, 50});
        drag.moveTo({3.4, 50});  // 0.8 design units
        EXPECT_EQ(writes, 0);
        drag.moveTo({-12, 50});  // 30 units to the left
        EXPECT_DOUBLE_EQ(width, 230);
        drag.moveTo({-100, 50});  // pinned at the bound, no drift
        drag.moveTo({-17, 50});   // 40 units left
        EXPECT_DOUBLE_EQ(width, 240);
        drag.release({-17, 50});
    }
    test::MouseDrag again(divider, {3, 50});
    again.moveTo({8, 50});  // 10 units right, from 240
    EXPECT_DOUBLE_EQ(width, 230);
    again.release({8, 50});
}

class NumberFieldInDialog : public ::testing::Test {
  protected:
    void SetUp() override {
        auto* layout = new QVBoxLayout(&dialog);
        field = new NumberField(&dialog);
        field->setText(QStringLiteral("1.50"));
        field->onCommit = [this] { ++commits; };
        field->onCancel = [this] { ++cancels; };
        field->onTextChanged = [this](const QString& t) { bound = t; };
        auto* ok = new QPushButton(QStringLiteral("OK"), &dialog);
        ok->setDefault(true);
        QObject::connect(ok, &QPushButton::clicked, [this] { ++defaultClicks; });
        layout->addWidget(field);
        layout->addWidget(ok);
        dialog.show();
        test::drainMainQueue();
        field->setFocus();
    }
    QDialog dialog;
    NumberField* field = nullptr;
    int commits = 0, cancels = 0, defaultClicks = 0;
    QString bound;
};

TEST_F(NumberFieldInDialog, ReturnCommitsOnceAndTheDefaultButtonStaysStill) {
    QTest::keyClicks(field, QStringLiteral("5"));
    EXPECT_EQ(bound, QStringLiteral("1.505"));
    QTest::keyClick(field, Qt::Key_Return);
    QTest::keyClick(field, Qt::Key_Enter);
    EXPECT_EQ(commits, 2);
    EXPECT_EQ(defaultClicks, 0);
    EXPECT_TRUE(dialog.isVisible());
}

TEST_F(NumberFieldInDialog, EscapeCancelsWithoutClosingTheDialog) {
    QTest::keyClick(field, Qt::Key_Escape);
    EXPECT_EQ(cancels, 1);
    EXPECT_EQ(commits, 0);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
}

TEST_F(NumberFieldInDialog, WritingTheShownTextKeepsCursorAndSelection) {
    field->setSelection(1, 2);
    field->setBoundText(QStringLiteral("1.50"));
    EXPECT_EQ(field->selectionStart(), 1);
    EXPECT_EQ(field->selectedText(), QStringLiteral(".5"));
    field->setBoundText(QStringLiteral("2.00"));
    EXPECT_EQ(field->text(), QStringLiteral("2.00"));
}

TEST_F(NumberFieldInDialog, FocusRequestOneSelectsAllLaterRequestsOnlyFocus) {
    field->setSelectsAllOnAppear(true);
    auto* other = new QPushButton(&dialog);
    dialog.layout()->addWidget(other);
    other->show();
    other->setFocus();
    field->deselect();
    field->setFocusRequest(1);
    EXPECT_FALSE(field->hasSelectedText()) << "focus is asked for on the next turn";
    test::drainMainQueue();
    EXPECT_TRUE(field->hasFocus());
    EXPECT_EQ(field->selectedText(), QStringLiteral("1.50"));

    other->setFocus();
    field->deselect();
    field->setFocusRequest(2);
    test::drainMainQueue();
    EXPECT_TRUE(field->hasFocus());
    EXPECT_FALSE(field->hasSelectedText());
}

struct ScrubRecorder {
    QList<double> increments;
    int opens = 0;
    double sum() const {
        double total = 0;
        for (double v : increments) total += v;
        return total;
    }
};

ScrubbableValue::Config scrubConfig(ScrubRecorder& recorder, bool enabled) {
    ScrubbableValue::Config config;
    config.label = QStringLiteral("X");
    config.display = QStringLiteral("0");
    config.step = 0.5;
    config.onScrub = [&recorder](double v) { recorder.increments << v; };
    config.onOpen = [&recorder] { ++recorder.opens; };
    config.isEnabled = enabled;
    return config;
}

TEST(ScrubbableValue, IncrementsSumToTheTotalTravelTimesStepAndRestartPerDrag) {
    ScrubRecorder recorder;
    ScrubbableValue row(scrubConfig(recorder, true));
    row.resize(200, 26);
    {
        test::MouseDrag drag(row, {50, 10});
        drag.moveTo({52, 10});  // under 3 units: not a drag yet
        EXPECT_TRUE(recorder.increments.isEmpty());
        drag.moveTo({60, 10});
        EXPECT_DOUBLE_EQ(recorder.sum(), 5.0);
        EXPECT_TRUE(row.isDragging());
        drag.moveTo({56, 10});
        EXPECT_DOUBLE_EQ(recorder.sum(), 3.0);
        EXPECT_LT(recorder.increments.last(), 0);
        drag.release({56, 10});
    }
    EXPECT_FALSE(row.isDragging());
    EXPECT_EQ(recorder.opens, 0);
    recorder.increments.clear();
    test::MouseDrag next(row, {56, 10});
    next.moveTo({60, 10});
    EXPECT_DOUBLE_EQ(recorder.sum(), 2.0);
    next.release({60, 10});
}

TEST(ScrubbableValue, ClickOpensTheEntryOnlyWhenEnabledAndDisabledDragsReportNothing) {
    ScrubRecorder recorder;
    ScrubbableValue row(scrubConfig(recorder, true));
    row.resize(200, 26);
    test::MouseDrag(row, {50, 10}).release({51, 11});
    EXPECT_EQ(recorder.opens, 1);

    row.setValueEnabled(false);
    test::MouseDrag(row, {50, 10}).release({50, 10});
    test::MouseDrag drag(row, {50, 10});
    drag.moveTo({80, 10});
    drag.release({80, 10});
    EXPECT_EQ(recorder.opens, 1);
    EXPECT_TRUE(recorder.increments.isEmpty());
    EXPECT_FALSE(row.isDragging());
}

}  // namespace
}  // namespace velmar
