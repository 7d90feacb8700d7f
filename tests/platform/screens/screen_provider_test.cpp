#include "platform/screens/screen_provider.h"

#include <QGuiApplication>
#include <QSet>

#include <gtest/gtest.h>

namespace velmar {
namespace {

ScreenInfo named(const char* name, QRect geometry, const char* serial = "") {
    ScreenInfo s;
    s.name = name;
    s.serialNumber = serial;
    s.geometry = geometry;
    return s;
}

TEST(ScreenProviderTest, IdentitiesAreUniqueWhereNamesRepeat) {
    QList<ScreenInfo> screens{
        named("screen", {0, 0, 1280, 720}),
        named("screen", {0, 0, 1920, 1080}),  // another X screen, same name
        named("HDMI-1", {0, 0, 1920, 1080}, "A1"),
        named("HDMI-1", {0, 0, 1920, 1080}, "B2"),  // same model twice
        named("screen", {0, 0, 1920, 1080}),        // alike in every field
    };
    ScreenProvider::assignIdentities(screens);
    QSet<QString> seen;
    for (const ScreenInfo& s : screens) {
        EXPECT_FALSE(s.identity.isEmpty());
        seen.insert(s.identity);
    }
    EXPECT_EQ(seen.size(), screens.size());
    EXPECT_TRUE(screens[4].identity.startsWith(screens[1].identity));

    // A screen keeps its identity when another one goes away.
    QList<ScreenInfo> fewer{screens[2], screens[3]};
    ScreenProvider::assignIdentities(fewer);
    EXPECT_EQ(fewer[0].identity, screens[2].identity);
    EXPECT_EQ(fewer[1].identity, screens[3].identity);
}

// The primary screen is listed first and no screen is dropped or listed twice, wherever the
// primary stands; a primary that is not among the screens changes nothing.
TEST(ScreenProviderTest, PrimaryScreenFirstAndEveryScreenOnce) {
    using Order = QList<qsizetype>;
    EXPECT_EQ(ScreenProvider::primaryFirst(3, 0), (Order{0, 1, 2}));
    EXPECT_EQ(ScreenProvider::primaryFirst(3, 1), (Order{1, 0, 2}));
    EXPECT_EQ(ScreenProvider::primaryFirst(3, 2), (Order{2, 0, 1}));
    EXPECT_EQ(ScreenProvider::primaryFirst(3, -1), (Order{0, 1, 2}));
    EXPECT_EQ(ScreenProvider::primaryFirst(3, 3), (Order{0, 1, 2}));
    EXPECT_EQ(ScreenProvider::primaryFirst(1, 0), (Order{0}));
    EXPECT_EQ(ScreenProvider::primaryFirst(0, -1), Order{});
}

// The system's list is built that way: every platform screen, the primary one first.
TEST(ScreenProviderTest, SystemListsThePlatformScreensPrimaryFirst) {
    const QList<ScreenInfo> screens = ScreenProvider::system().screens();
    ASSERT_EQ(screens.size(), QGuiApplication::screens().size());
    ASSERT_NE(QGuiApplication::primaryScreen(), nullptr);
    EXPECT_EQ(ScreenProvider::system().platformScreen(screens.first().identity),
              QGuiApplication::primaryScreen());
}

}  // namespace
}  // namespace velmar
