// The transport bar as the operator uses it: clicks on its buttons and chips and a drag on its
// track, at a window scale other than 1, reach the movie as the presenter's rules say.
#include "ui/panels/transport_bar.h"

#include "ui/mouse_drag.h"
#include "ui/panels/fake_transport_movie.h"

#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

namespace velmar {
namespace {

class TransportBarWidgetTest : public ::testing::Test {
  protected:
    static constexpr double kScale = 1.5;

    TransportBarWidgetTest() {
        bar.setScale(kScale);
        bar.resize(bar.sizeHint());
        movie->duration = 120;
        bar.presenter().setMovie(movie);
        bar.show();
    }
    // A point of the bar's design-unit layout in widget pixels.
    QPoint at(QPointF design) const { return (design * kScale).toPoint(); }
    TransportBar::Layout layout() const { return TransportBar::layout(bar.width() / kScale); }
    QPointF onTrack(double fraction) const {
        const QRectF track = layout().track;
        return QPointF(track.left() + fraction * track.width(), track.center().y()) * kScale;
    }

    TransportBar bar{Qt::red};
    std::shared_ptr<test::FakeTransportMovie> movie = std::make_shared<test::FakeTransportMovie>();
};

TEST_F(TransportBarWidgetTest, ButtonsAndChipsActOnTheMovie) {
    const TransportBar::Layout l = layout();
    QTest::mouseClick(&bar, Qt::LeftButton, {}, at(l.chips[1].center()));  // 0.5x
    EXPECT_EQ(movie->rate, 0.5f);
    EXPECT_TRUE(bar.presenter().isChipHighlighted(0.5));
    QTest::mouseClick(&bar, Qt::LeftButton, {}, at(l.buttons[2].center()));  // pause
    EXPECT_EQ(movie->rate, 0);
    movie->calls.clear();
    QTest::mouseClick(&bar, Qt::LeftButton, {}, at(l.buttons[3].center()));
    QTest::mouseClick(&bar, Qt::LeftButton, {}, at(l.buttons[1].center()));
    QTest::mouseClick(&bar, Qt::LeftButton, {}, at(l.buttons[0].center()));
    // The gaps between the buttons do nothing.
    QTest::mouseClick(&bar, Qt::LeftButton, {},
                      at({l.buttons[0].right() + 2, l.buttons[0].center().y()}));
    EXPECT_EQ(movie->calls, QStringList({"pause", "step 1", "pause", "step -1", "seek 0 precise"}));
    QTest::mouseClick(&bar, Qt::LeftButton, {}, at(l.buttons[2].center()));  // play again at 1
    EXPECT_EQ(movie->rate, 1.0f);
}

TEST_F(TransportBarWidgetTest, TrackDragSeeksLooselyThenOncePreciselyOnRelease) {
    movie->rate = 1;
    test::MouseDrag drag(bar, onTrack(0.25));
    drag.moveTo(onTrack(0.5));
    drag.moveTo(onTrack(2.0));  // past the end: the last second
    drag.release(onTrack(2.0));
    ASSERT_EQ(movie->calls.size(), 5) << movie->calls.join(", ").toStdString();
    EXPECT_EQ(movie->calls[0], "pause");
    const auto seconds = [&](int i) { return movie->calls[i].split(' ')[1].toDouble(); };
    EXPECT_NEAR(seconds(1), 30, 0.2);
    EXPECT_NEAR(seconds(2), 60, 0.2);
    EXPECT_EQ(movie->calls[3], "seek 120 loose");
    EXPECT_EQ(movie->calls[4], "seek 120 precise");
    EXPECT_FALSE(bar.presenter().isScrubbing());
    // A move with no drag under way seeks nothing.
    QMouseEvent move(QEvent::MouseMove, onTrack(0.1), onTrack(0.1), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&bar, &move);
    EXPECT_EQ(movie->calls.size(), 5);
}

// The button icons come from the SVG files: a symbol brighter than the bar in each button, and the
// third button changes between play and pause with the player's rate.
TEST_F(TransportBarWidgetTest, SymbolsAreDrawnAndFollowThePlayerRate) {
    const auto bright = [&](const QImage& image, const QRectF& design) {
        const QRect r(at(design.topLeft()), at(design.bottomRight()));
        const int back = qGray(image.pixel(r.topLeft()));
        int count = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x)
                count += qGray(image.pixel(x, y)) > back + 40 ? 1 : 0;
        return count;
    };
    const TransportBar::Layout l = layout();
    movie->rate = 0;
    const QImage paused = bar.grab().toImage();
    movie->rate = 1;
    const QImage running = bar.grab().toImage();
    for (int i = 0; i < 4; ++i) EXPECT_GT(bright(paused, l.buttons[i]), 40) << i;
    const QRect play(at(l.buttons[2].topLeft()), at(l.buttons[2].bottomRight()));
    EXPECT_NE(paused.copy(play), running.copy(play));
    const QRect cue(at(l.buttons[0].topLeft()), at(l.buttons[0].bottomRight()));
    EXPECT_EQ(paused.copy(cue), running.copy(cue));
}

}  // namespace
}  // namespace velmar
