// The main window over the real application state through its window model (no scripted
// model): the PROGRAM-side setting moves the panes, and a divider drag resizes the layout and
// reaches the stored settings.
#include "ui/window/app_state_window_model.h"
#include "app/app_state_fixture.h"
#include "ui/controls/panel_divider.h"
#include "ui/mouse_drag.h"
#include "ui/window/content_view.h"
#include "ui/window/live_preview_pane.h"
#include "ui/window/preview_pane.h"
#include "ui/window/take_column.h"

#include <algorithm>

namespace velmar::test {
namespace {

struct WindowOverAppStateTest : AppStateFixture {
    std::unique_ptr<AppStateWindowModel> model;
    std::unique_ptr<ContentView> view;

    void SetUp() override {
        AppStateFixture::SetUp();
        make();
        model = std::make_unique<AppStateWindowModel>(*app);
        view = std::make_unique<ContentView>(*model, app->engine(), ContentView::Slots{},
                                             ContentView::Options{&clock, &clock});
        view->resize(1920, 1260);
        view->show();
    }
    void TearDown() override {
        view.reset();
        model.reset();
        AppStateFixture::TearDown();
    }
    bool programShownLeft() const {
        return view->programPane()->geometry().center().x() <
               view->nextPane()->geometry().center().x();
    }
    // The two dividers, left one first.
    std::vector<PanelDivider*> dividers() const {
        auto found = view->surface()->findChildren<PanelDivider*>();
        std::vector<PanelDivider*> list(found.begin(), found.end());
        std::sort(list.begin(), list.end(),
                  [](PanelDivider* a, PanelDivider* b) { return a->x() < b->x(); });
        return list;
    }
};

TEST_F(WindowOverAppStateTest, TheProgramSideSettingMovesThePanesEachWay) {
    ASSERT_FALSE(app->programOnLeft());
    EXPECT_FALSE(programShownLeft());
    app->setProgramOnLeft(true);
    EXPECT_TRUE(programShownLeft());
    EXPECT_EQ(defaults->boolean("programOnLeft"), true);
    app->setProgramOnLeft(false);
    EXPECT_FALSE(programShownLeft());
}

TEST_F(WindowOverAppStateTest, DraggingEitherDividerResizesTheColumnAndStoresItsWidth) {
    const double start = app->centerColumnWidth();
    const double s = view->layout().s;
    ASSERT_GT(s, 0);
    const auto bars = dividers();
    ASSERT_EQ(bars.size(), 2u);
    const int columnPixels = view->takeColumn()->width();

    // The left divider widens the column when dragged left, the right one when dragged right.
    struct Drag {
        PanelDivider* bar;
        double designUnits;
        double width;
    };
    for (const Drag& d : {Drag{bars[0], -30, start + 30}, Drag{bars[1], -20, start + 10}}) {
        MouseDrag drag(*d.bar, QPointF(2, 40));
        drag.moveTo(QPointF(2 + d.designUnits * s, 40));
        drag.release(QPointF(2 + d.designUnits * s, 40));
        EXPECT_DOUBLE_EQ(app->centerColumnWidth(), d.width);
        EXPECT_DOUBLE_EQ(view->layout().centralColumn.width(), d.width) << "laid out again";
        EXPECT_EQ(defaults->number("centerColumnWidth"), d.width);
    }
    EXPECT_GT(view->takeColumn()->width(), columnPixels) << "the column on screen widened";
}

}  // namespace
}  // namespace velmar::test
