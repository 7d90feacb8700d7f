// The assembled control window at laptop sizes: the whole surface shows, scaled as a whole, with
// every control whole inside its parent and the window, after the window has shrunk from its
// default size of 1920 x 1080.
#include "core/playout_engine.h"
#include "ui/control_window_harness.h"
#include "ui/controls/elided_combo_box.h"
#include "ui/panels/motion_profile_panel.h"
#include "ui/window/content_view.h"
#include "ui/window/control_bar.h"
#include "ui/window/status_bar.h"
#include "ui/window/take_column.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QComboBox>
#include <QCoreApplication>
#include <QFontInfo>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cmath>
#include <map>

namespace velmar {
namespace {

const QList<QSize> kLaptopSizes{{1366, 768}, {1280, 720}, {960, 540}, {1280, 760}};

void showAt(test::ControlWindowHarness& harness, QSize size) {
    harness.window.resize(size);
    harness.view->resize(size);
    harness.window.show();
    for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
}

// The view's own widgets, without the contents of scrolling areas, which are cut on purpose.
QList<QWidget*> surfaceWidgets(ContentView* view) {
    QList<QWidget*> widgets;
    for (QWidget* widget : view->findChildren<QWidget*>()) {
        if (!widget->isVisible() || widget->isWindow()) continue;
        bool scrolled = false;
        for (QWidget* p = widget->parentWidget(); p != view; p = p->parentWidget())
            scrolled = scrolled || qobject_cast<QAbstractScrollArea*>(p);
        if (!scrolled) widgets << widget;
    }
    return widgets;
}

QString textOf(const QWidget* widget) {
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
    if (auto* box = qobject_cast<const QComboBox*>(widget)) return box->currentText();
    if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
    return {};
}

TEST(ControlWindowSizes, EveryControlIsWholeInItsParentAndTheWindow) {
    test::ControlWindowHarness harness({.noCanvas = true});
    ContentView* view = harness.view;
    showAt(harness, {1920, 1080});
    for (const QSize size : kLaptopSizes) {
        showAt(harness, size);
        const QString at = QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
        for (QWidget* widget : surfaceWidgets(view)) {
            const QString name = at + " " + widget->metaObject()->className() + " " +
                                 widget->parentWidget()->metaObject()->className();
            EXPECT_TRUE(widget->parentWidget()->rect().contains(widget->geometry()))
                << qPrintable(name);
            const QRect inView(widget->mapTo(view, QPoint()), widget->size());
            EXPECT_TRUE(view->rect().contains(inView)) << qPrintable(name);
        }
        // The keypad's third column, and the two bottom rows.
        auto* motion = view->findChild<MotionProfilePanel*>();
        const QRect rotate(motion->key(MotionKind::rotate)->mapTo(view, QPoint()),
                           motion->key(MotionKind::rotate)->size());
        const QRect column(view->takeColumn()->mapTo(view, QPoint()), view->takeColumn()->size());
        EXPECT_TRUE(column.contains(rotate)) << qPrintable(at);
        EXPECT_LE(view->statusBar()->geometry().bottom(), size.height() - 1) << qPrintable(at);
        EXPECT_LE(view->controlBar()->geometry().bottom(), view->statusBar()->geometry().top());
    }
}

TEST(ControlWindowSizes, TextOfEveryControlShrinksWithTheSurface) {
    test::ControlWindowHarness harness({.noCanvas = true});
    ContentView* view = harness.view;
    // The longest motion title, so that the list has to shorten it at small sizes.
    harness.app.engine().setDefaultMotion(MotionKind::slideLeft);
    showAt(harness, {1920, 1260});
    std::map<QWidget*, int> designPixels;
    for (QWidget* widget : surfaceWidgets(view))
        designPixels[widget] = QFontInfo(widget->font()).pixelSize();

    showAt(harness, {1920, 1080});
    showAt(harness, {960, 540});
    const double s = view->layout().s;
    for (QWidget* widget : surfaceWidgets(view)) {
        if (textOf(widget).isEmpty() || !designPixels.count(widget)) continue;
        const int pixels = QFontInfo(widget->font()).pixelSize();
        EXPECT_LE(pixels, std::ceil(designPixels[widget] * s) + 1)
            << widget->metaObject()->className() << " " << qPrintable(textOf(widget));
    }
    // The list shows the title shortened with "…", on one line of its height.
    auto* list = view->findChild<MotionProfilePanel*>()->findChild<ElidedComboBox*>();
    EXPECT_TRUE(list->shownText().endsWith(QChar(0x2026))) << qPrintable(list->shownText());
    EXPECT_LE(list->fontMetrics().height(), list->height());
}

TEST(ControlWindowSizes, AWindowForcedBelowItsMinimumStillShowsTheWholeSurface) {
    test::ControlWindowHarness harness({.noCanvas = true});
    QMainWindow main;
    main.menuBar()->addMenu(QStringLiteral("File"));
    main.setCentralWidget(harness.view);
    main.resize(1920, 1080);
    main.show();
    QCoreApplication::processEvents();
    // The window asks for room for the minimum surface of 960 x 540 below its menu bar...
    EXPECT_EQ(main.minimumWidth(), 960);
    EXPECT_GE(main.minimumHeight(), 540 + main.menuBar()->height());
    // ...and where a window manager gives less, the surface is scaled into what there is.
    harness.view->setGeometry(0, 0, 960, 522);
    QCoreApplication::processEvents();
    EXPECT_EQ(harness.view->height(), 522);
    EXPECT_LE(harness.view->statusBar()->geometry().bottom(), 521);
    main.takeCentralWidget();
    delete harness.view;
}

}  // namespace
}  // namespace velmar
