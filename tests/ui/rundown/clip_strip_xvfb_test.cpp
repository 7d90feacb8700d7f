// The clip strip of the real window on an X server: thumbnails of stills made by ffmpeg as
// ImageMagick sees them on screen, and a clip dragged with the real X pointer (xdotool), the
// new order read from the rundown and from a new shot.
#include "app/app_state.h"
#include "platform/base/user_defaults.h"
#include "ui/rundown/clip_strip.h"
#include "ui/window/app_state_window_model.h"
#include "ui/window/content_view.h"
#include "ui/xvfb_session.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTimer>

#include <gtest/gtest.h>

namespace velmar {
namespace {

const bool kStripChild = qEnvironmentVariableIsSet("VELMAR_XVFB_STRIP_CHILD");

struct Still {
    const char* name;
    const char* source;  // ffmpeg's lavfi source
    QRgb colour;
};
// Five opaque colours and a red at half opacity.
const Still kStills[] = {
    {"blue", "color=c=0x2080E0:s=1920x1080", qRgb(0x20, 0x80, 0xE0)},
    {"orange", "color=c=0xE0A020:s=1920x1080", qRgb(0xE0, 0xA0, 0x20)},
    {"green", "color=c=0x30C050:s=1920x1080", qRgb(0x30, 0xC0, 0x50)},
    {"purple", "color=c=0xC040C0:s=1920x1080", qRgb(0xC0, 0x40, 0xC0)},
    {"yellow", "color=c=0xF0F040:s=1920x1080", qRgb(0xF0, 0xF0, 0x40)},
    {"red50", "color=c=red@0.5:s=1920x1080,format=rgba", 0},
};

// Runs inside the X server: the control window at 1920 x 1260 with the six stills of
// VELMAR_XVFB_DIR in its tab. Prints, whenever they change, the strip's left and right edge on
// screen and the screen points of every cell's picture and of gap 0 ("AT left right x0 y0 x1 y1
// ... gx gy"), NEXT on selection and ORDER on each change of the tab's order, then waits to be
// ended.
TEST(ClipStripXvfbChild, ShowsTheStrip) {
    if (!kStripChild) GTEST_SKIP() << "run by ClipStripXvfbTest";
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath("defaults.json"));
    AppState::Environment environment;
    environment.defaults = &defaults;
    environment.installScreenObservers = false;
    environment.isSandboxed = [] { return false; };
    AppState app(environment);
    Rundown& rundown = app.engine().rundown();
    ContentView::Slots views;
    views.clipStrip = [&app](QWidget* parent) {
        auto* strip = new ClipStrip(app.engine().rundown(), {}, parent);
        strip->followEngine(app.engine());
        strip->followAppState(app);
        return strip;
    };
    AppStateWindowModel::Hooks hooks;
    hooks.projectDisplayName = [] { return QStringLiteral("Strip"); };
    AppStateWindowModel model(app, hooks);
    ContentView view(model, app.engine(), views, {});
    view.setGeometry(0, 0, 1920, 1260);
    view.show();
    QList<Clip> clips;
    for (const Still& still : kStills) {
        Clip clip;
        clip.url = QUrl::fromLocalFile(qEnvironmentVariable("VELMAR_XVFB_DIR") + "/" + still.name +
                                       ".png");
        clip.displayName = QString::fromLatin1(still.name);
        clip.kind = Clip::Kind::still;
        clips << clip;
    }
    rundown.addClips(clips);
    auto* strip = view.findChild<ClipStrip*>();
    ASSERT_NE(strip, nullptr);
    auto names = [&rundown] {
        QStringList out;
        for (const Clip& c : rundown.groups()[0].clips) out << c.displayName;
        return out.join(',');
    };
    QString order = names();  // printed only when it changes
    QObject::connect(&rundown, &Rundown::clipsChanged, [&] {
        if (names() != order) std::printf("ORDER %s\n", qPrintable(order = names()));
        std::fflush(stdout);
    });
    QObject::connect(&rundown, &Rundown::selectionChanged, [&rundown] {
        std::printf("NEXT %d\n", rundown.clampedNext()), std::fflush(stdout);
    });
    QString last;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QStringList at;
        auto global = [strip](QPointF content) {
            const QPoint p = strip->viewport()->mapToGlobal(strip->toViewport(content).toPoint());
            return QStringLiteral("%1 %2").arg(p.x()).arg(p.y());
        };
        const StripLayout& layout = strip->stripLayout();
        for (int i = 0; i < layout.clipCount(); ++i) at << global({layout.cell(i).x + 84, 60});
        at << global({layout.gap(0).x + layout.gap(0).width / 2, 60});
        // The viewport's left and right edge on screen come first.
        const QPoint left = strip->viewport()->mapToGlobal(QPoint(0, 0));
        const QString line =
            QStringLiteral("AT %1 %2 ").arg(left.x()).arg(left.x() + strip->viewport()->width()) +
            at.join(' ');
        if (line != last && strip->isVisible())
            std::printf("%s\n", qPrintable(line)), std::fflush(stdout), last = line;
    });
    poll.start(50);
    QTimer::singleShot(120000, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
}

class ClipStripXvfbTest : public ::testing::Test {
  protected:
    // The screen points of the last "AT" line: the cells' pictures, then gap 0.
    QList<QPoint> points() {
        x.drain(500);
        const QString out = x.output();
        const qsizetype from = out.lastIndexOf("AT ");
        const QStringList f = out.mid(from + 3, out.indexOf('\n', from) - from - 3).split(' ');
        QList<QPoint> pts;
        if (f.size() < 2) return pts;
        left = f[0].toInt(), right = f[1].toInt();
        for (int i = 2; i + 1 < f.size(); i += 2) pts << QPoint(f[i].toInt(), f[i + 1].toInt());
        return pts;
    }
    // Whether the shot shows the stills in `order` (indices into kStills) in the cells from the
    // first: opaque ones at their colour +-2, the half red one over both checker greys. The
    // strip keeps NEXT on its centre line, so cells scrolled out of its viewport are left out;
    // at least four must be in it.
    bool shows(const QImage& shot, const QList<QPoint>& at, const QList<int>& order) const {
        int seen = 0;
        for (int i = 0; i < order.size(); ++i) {
            if (at[i].x() - 20 < left || at[i].x() + 20 > right) continue;
            ++seen;
            const Still& still = kStills[order[i]];
            if (still.colour) {
                const QRgb c = still.colour;
                if (!test::near(shot.pixel(at[i]), qRed(c), qGreen(c), qBlue(c), 2)) return false;
                continue;
            }
            bool dark = false, light = false;
            for (int dy = -20; dy <= 20; ++dy)
                for (int dx = -20; dx <= 20; ++dx) {
                    const QRgb p = shot.pixel(at[i] + QPoint(dx, dy));
                    dark = dark || test::near(p, 156, 28, 28, 2);
                    light = light || test::near(p, 166, 38, 38, 2);
                }
            if (!dark || !light) return false;
        }
        return seen >= 4;
    }
    void drag(QPoint from, QPoint to) {
        x.xdotool({"mousemove", QString::number(from.x()), QString::number(from.y())});
        x.xdotool({"mousedown", "1"});
        for (int step = 1; step <= 8; ++step) {
            const QPoint p = from + (to - from) * step / 8;
            x.xdotool({"mousemove", QString::number(p.x()), QString::number(p.y())});
        }
        x.xdotool({"mouseup", "1"});
    }

    test::XvfbSession x;
    int left = 0, right = 0;  // the strip's viewport on screen
};

TEST_F(ClipStripXvfbTest, ThumbnailsShowTheirStillsAndARealDragReorders) {
    if (kStripChild) GTEST_SKIP() << "the child";
    if (const QString tool = test::XvfbSession::missingTool(); !tool.isEmpty())
        GTEST_SKIP() << "needs " << tool.toStdString();
    for (const Still& still : kStills) {
        ASSERT_EQ(
            QProcess::execute("ffmpeg", {"-loglevel", "error", "-f", "lavfi", "-i", still.source,
                                         "-frames:v", "1", x.path(QString(still.name) + ".png")}),
            0);
    }
    x.start();
    QProcessEnvironment env;
    env.insert("VELMAR_XVFB_STRIP_CHILD", "1"), env.insert("VELMAR_XVFB_DIR", x.path(""));
    x.startChild("ClipStripXvfbChild.*", env);
    ASSERT_TRUE(x.waitFor("AT ")) << x.output().toStdString();

    // Right to left by default: clip 1 is the rightmost cell.
    QList<QPoint> at = points();
    ASSERT_EQ(at.size(), 7);
    for (int i = 1; i < 6; ++i) EXPECT_LT(at[i].x(), at[i - 1].x());
    const QList<int> initial = {0, 1, 2, 3, 4, 5};
    EXPECT_TRUE(
        shows(x.shootUntil([&](const QImage& s) { return shows(s, at, initial); }), at, initial));

    // 5 points is a click: it selects the fifth clip and moves nothing.
    drag(at[4], at[4] + QPoint(3, 4));
    ASSERT_TRUE(x.waitFor("NEXT 4")) << x.output().toStdString();
    at = points();
    EXPECT_TRUE(
        shows(x.shootUntil([&](const QImage& s) { return shows(s, at, initial); }), at, initial));
    EXPECT_FALSE(x.output().contains("ORDER"));

    // The fifth cell dropped on gap 0 comes first; the others keep their order.
    drag(at[4], at[6]);
    ASSERT_TRUE(x.waitFor("ORDER")) << x.output().toStdString();
    const QRegularExpression order("ORDER (\\S+)");
    EXPECT_EQ(order.match(x.output()).captured(1), "yellow,blue,orange,green,purple,red50");
    at = points();
    const QList<int> moved = {4, 0, 1, 2, 3, 5};
    EXPECT_TRUE(
        shows(x.shootUntil([&](const QImage& s) { return shows(s, at, moved); }), at, moved));
}

}  // namespace
}  // namespace velmar
