// The assembled control window: every view the content view leaves to others is built, placed
// on the surface and drawn at the window's design scale; the command menus are the audio and
// test-pattern menus.
#include "ui/app_views.h"
#include "app/app_state.h"
#include "app/document_dialogs_qt.h"
#include "app/document_workflow.h"
#include "app/dovrine_app_document_host.h"
#include "core/autosave_store.h"
#include "platform/base/user_defaults.h"
#include "support/fake_clock.h"
#include "ui/control_window_harness.h"
#include "ui/panels/dsk_control_bar.h"
#include "ui/panels/dsk_panel.h"
#include "ui/panels/motion_profile_panel.h"
#include "ui/panels/reference_tone_menu.h"
#include "ui/panels/test_pattern_menu.h"
#include "ui/panels/timecode_panel.h"
#include "ui/panels/transform_panel.h"
#include "ui/panels/transport_bar.h"
#include "ui/rundown/clip_strip.h"
#include "ui/rundown/sequence_bar.h"
#include "ui/rundown/tab_bar.h"
#include "ui/window/content_view.h"
#include "ui/window/take_column.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(AppViewsTest, ControlWindowHoldsEveryViewAtTheWindowScale) {
    test::ControlWindowHarness harness({.noCanvas = true});
    QWidget& window = harness.window;
    ContentView* view = harness.view;
    window.resize(960, 630);
    view->resize(960, 630);
    window.show();
    QCoreApplication::processEvents();
    const double s = view->layout().s;
    ASSERT_GT(s, 0);
    ASSERT_LT(s, 1);

    auto* strip = view->findChild<ClipStrip*>();
    ASSERT_NE(strip, nullptr);
    EXPECT_DOUBLE_EQ(strip->scale(), s);
    const QList<QWidget*> slotViews{strip,
                                    view->findChild<TabBar*>(),
                                    view->findChild<SequenceBar*>(),
                                    view->findChild<DSKPanel*>(),
                                    view->findChild<DSKControlBar*>(),
                                    view->findChild<MotionProfilePanel*>(),
                                    view->findChild<TimecodePanel*>(),
                                    view->findChild<TransportBar*>(),
                                    view->findChild<TransformPanel*>()};
    for (QWidget* slot : slotViews) {
        ASSERT_NE(slot, nullptr);
        EXPECT_TRUE(slot->isVisible()) << slot->metaObject()->className();
        EXPECT_FALSE(slot->geometry().isEmpty()) << slot->metaObject()->className();
    }

    // The take column grows to hold the motion panel's whole laid-out height.
    auto* motion = view->findChild<MotionProfilePanel*>();
    EXPECT_GT(motion->minimumHeight(), 0);
    EXPECT_LE(motion->geometry().bottom(), view->takeColumn()->height());

    const QList<QMenu*> menus = AppViews::makeMenus(harness.app, &window);
    ASSERT_EQ(menus.size(), 2);
    EXPECT_NE(qobject_cast<ReferenceToneMenu*>(menus[0]), nullptr);
    EXPECT_NE(qobject_cast<TestPatternMenu*>(menus[1]), nullptr);
    EXPECT_FALSE(menus[0]->title().isEmpty());
    delete view;
}

}  // namespace
}  // namespace velmar
