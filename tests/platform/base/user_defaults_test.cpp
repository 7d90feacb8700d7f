#include "platform/base/user_defaults.h"
#include "support/qt_printers.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmar {
namespace {

TEST(UserDefaults, ValuesKeepTheirTypesAcrossInstances) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/settings/defaults.json";
    {
        UserDefaults d(path);
        d.set("s", QStringLiteral("テキスト"));
        d.set("b", true);
        d.set("i", 42);
        d.set("big", 9007199254740993LL);  // beyond a double's exact range
        d.set("x", 0.25);
        d.set("list", QStringList{"en"});
    }
    UserDefaults d(path);
    EXPECT_EQ(d.string("s"), QStringLiteral("テキスト"));
    EXPECT_EQ(d.boolean("b"), true);
    EXPECT_EQ(d.integer("i"), 42);
    EXPECT_EQ(d.number("x"), 0.25);
    EXPECT_EQ(d.stringList("list"), QStringList{"en"});
    EXPECT_TRUE(d.integer("big").has_value());
}

TEST(UserDefaults, WrongTypesAndBadFilesReadAsNothing) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/defaults.json";
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(R"({"half": 1.5, "text": "7", "flag": 1, "list": ["a", 2], "huge": 1e300})");
    f.close();
    UserDefaults d(path);
    EXPECT_FALSE(d.integer("half").has_value());
    EXPECT_EQ(d.number("half"), 1.5);
    EXPECT_FALSE(d.integer("text").has_value());
    EXPECT_FALSE(d.boolean("flag").has_value());
    EXPECT_FALSE(d.string("flag").has_value());
    EXPECT_FALSE(d.stringList("list").has_value());
    EXPECT_FALSE(d.integer("huge").has_value());
    EXPECT_FALSE(d.string("missing").has_value());

    const QString broken = dir.path() + "/broken.json";
    QFile g(broken);
    ASSERT_TRUE(g.open(QIODevice::WriteOnly));
    g.write("{not json");
    g.close();
    UserDefaults e(broken);
    EXPECT_FALSE(e.contains("anything"));
}

TEST(UserDefaults, RemoveForgetsTheKey) {
    QTemporaryDir dir;
    UserDefaults d(dir.path() + "/d.json");
    d.set("k", QStringLiteral("v"));
    d.remove("k");
    EXPECT_FALSE(d.contains("k"));
    EXPECT_FALSE(UserDefaults(dir.path() + "/d.json").contains("k"));
}

}  // namespace
}  // namespace velmar
