// Context menus of clips, markers and tabs, built from the rundown and run after it changed.
#include "ui/rundown/rundown_menus.h"
#include "core/rundown.h"
#include "models/language_settings.h"
#include "support/qt_printers.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

Clip menuClip(const QString& name, const QString& file = {}) {
    Clip c;
    c.displayName = name;
    c.url = QUrl::fromLocalFile("/media/" + (file.isEmpty() ? name + ".png" : file));
    return c;
}

ClipGroup menuTab(const QString& name, QList<Clip> clips) {
    ClipGroup g;
    g.name = name;
    g.clips = std::move(clips);
    return g;
}

QStringList names(const Rundown& r, int t = 0) {
    QStringList out;
    for (const Clip& c : r.groups()[t].clips) out << c.displayName;
    return out;
}

const MenuEntry& entry(const QList<MenuEntry>& menu, const char* title) {
    for (const MenuEntry& e : menu) {
        if (e.title == QString::fromUtf8(title)) return e;
    }
    static const MenuEntry none;
    ADD_FAILURE() << "no entry " << title;
    return none;
}

QStringList titles(const QList<MenuEntry>& menu) {
    QStringList out;
    for (const MenuEntry& e : menu) out << (e.kind == MenuEntry::Kind::separator ? "-" : e.title);
    return out;
}

struct RundownMenus : ::testing::Test {
    void SetUp() override {
        LanguageSettings::shared().setLanguage(AppLanguage::ja);
        rundown.loadGroups({menuTab("One", {menuClip("A"), menuClip("B", "b.PSD"), menuClip("C")}),
                            menuTab("Two", {menuClip("X")}), menuTab("Three", {})});
    }
    void TearDown() override { LanguageSettings::shared().setLanguage(AppLanguage::system); }
    // An import finishing while a menu is up: two clips arrive before the others.
    void importAtFront() { rundown.addClips({menuClip("new1"), menuClip("new2")}, 0); }
    QUuid idOf(int i, int t = 0) const { return rundown.groups()[t].clips[i].id; }

    Rundown rundown;
    QList<int> replaced;
    QList<QUrl> edited;
    ClipMenuCallbacks calls{[this](int i) { replaced << i; },
                            [this](const QUrl& url) { edited << url; }};
};

TEST_F(RundownMenus, ClipMenuListsItsEntriesByClipAndSelection) {
    EXPECT_EQ(titles(rundown_menus::clipMenu(rundown, idOf(0), calls)),
              (QStringList{"ここへ移動", "-", "前へ移動", "後ろへ移動", "-", "別のタブへ移動", "-",
                           "素材を差し替え…", "-", "リストから削除"}));
    // A psd in capitals offers the image editor; a selected clip moves with the selection.
    rundown.toggleReorderSelection(1);
    const auto menu = rundown_menus::clipMenu(rundown, idOf(1), calls);
    EXPECT_EQ(titles(menu).mid(2, 2), (QStringList{"選択をまとめて前へ", "選択をまとめて後ろへ"}));
    entry(menu, "フォトショップで編集").run();
    EXPECT_EQ(edited, (QList<QUrl>{QUrl::fromLocalFile("/media/b.PSD")}));
    EXPECT_TRUE(entry(menu, "リストから削除").destructive);
    // Every tab but the current one, by name.
    QStringList tabs;
    for (const MenuEntry& e : entry(menu, "別のタブへ移動").children) tabs << e.title;
    EXPECT_EQ(tabs, (QStringList{"Two", "Three"}));
}

TEST_F(RundownMenus, ClipActionsFindTheirClipAgainAfterAnImport_Mended) {
    const auto menuOfB = rundown_menus::clipMenu(rundown, idOf(1), calls);
    importAtFront();  // B moves from 1 to 3
    entry(menuOfB, "ここへ移動").run();
    EXPECT_EQ(rundown.groups()[0].selectedIndex, 3);
    entry(menuOfB, "素材を差し替え…").run();
    EXPECT_EQ(replaced, (QList<int>{3}));
    entry(menuOfB, "後ろへ移動").run();
    EXPECT_EQ(names(rundown), (QStringList{"new1", "new2", "A", "C", "B"}));
    entry(menuOfB, "別のタブへ移動").children[0].run();
    EXPECT_EQ(names(rundown, 1), (QStringList{"X", "B"}));

    const auto menuOfA = rundown_menus::clipMenu(rundown, idOf(2), calls);
    importAtFront();
    entry(menuOfA, "リストから削除").run();
    EXPECT_EQ(names(rundown), (QStringList{"new1", "new2", "new1", "new2", "C"}))
        << "A went, not the clip now standing where A stood";

    // A clip that is gone (removed, or in another tab by now) is left alone.
    const auto menuOfC = rundown_menus::clipMenu(rundown, idOf(4), calls);
    rundown.removeClip(4);
    replaced.clear();
    for (const char* title : {"ここへ移動", "素材を差し替え…", "リストから削除", "前へ移動"})
        entry(menuOfC, title).run();
    EXPECT_TRUE(replaced.isEmpty());
    EXPECT_EQ(rundown.groups()[0].clips.size(), 4);
}

TEST_F(RundownMenus, TabActionsFollowTheirTabWhenTabsShift_Mended) {
    const QUuid two = rundown.groups()[1].id;
    QList<QUuid> renamed;
    const auto menu = rundown_menus::tabMenu(rundown, two, [&](const QUuid& id) { renamed << id; });
    EXPECT_EQ(titles(menu),
              (QStringList{"名前を変更…", "-", "左へ移動", "右へ移動", "-", "タブを削除"}));
    rundown.moveGroup(2, -1);  // Three now stands where Two stood
    entry(menu, "右へ移動").run();
    EXPECT_EQ(rundown.groups()[2].id, two);
    entry(menu, "名前を変更…").run();
    EXPECT_EQ(renamed, (QList<QUuid>{two}));
    entry(menu, "タブを削除").run();
    ASSERT_EQ(rundown.groups().size(), 2);
    EXPECT_EQ(rundown.groups()[1].name, "Three");
    entry(menu, "左へ移動").run();  // gone: nothing moves
    EXPECT_EQ(rundown.groups()[1].name, "Three");
}

}  // namespace
}  // namespace velmar
