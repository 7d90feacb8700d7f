#include "app/menu_description.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using Command = MenuDescription::Command;

TEST(MenuDescription, MenusAndShortcutsInOrderWithoutNewOrCtrl3) {
    QStringList titles;
    for (const auto& menu : MenuDescription::menus()) titles << menu.titleKey;
    EXPECT_EQ(titles, (QStringList{"DOVRINE", "ファイル", "エフェクト", "送出", "ヘルプ"}));

    // Every item's shortcut in declaration order ("-" for none, "|" between menus).
    QStringList shortcuts;
    for (const auto& menu : MenuDescription::menus()) {
        for (const auto& item : menu.items) {
            if (!item.isSeparator())
                shortcuts << (item.shortcut.isEmpty() ? "-" : item.shortcut.toString());
        }
        shortcuts << "|";
    }
    EXPECT_EQ(
        shortcuts.join(' '),
        "Ctrl+, Ctrl+Q | Ctrl+O Ctrl+S Ctrl+Shift+S Ctrl+I - Ctrl+R Ctrl+A Ctrl+Shift+A "
        "Ctrl+Alt+Left "
        "Ctrl+Alt+Right Ctrl+Backspace Ctrl+F | - Ctrl+D Ctrl+0 Ctrl+- Ctrl+1 Ctrl+2 Ctrl+4 "
        "Ctrl+5 Ctrl+6 Ctrl+7 Ctrl+8 Ctrl+9 | Ctrl+Shift+D Ctrl+Shift+M Ctrl+Shift+K Ctrl+F12 - - "
        "Ctrl+[ Ctrl+] Ctrl+. Ctrl+T | Ctrl+? |");
}

// Ctrl+A waits for the number entry; everything that edits the rundown waits for a loading
// project, which would otherwise silently replace the edit.
TEST(MenuDescription, EnabledRulesForNumberEntryAndLoading) {
    const MenuDescription::State idle;
    const MenuDescription::State entry{.isNumberEntryOpen = true};
    const MenuDescription::State loading{.isProjectLoading = true};
    QStringList disabledWhileEntry, disabledWhileLoading;
    for (const auto& menu : MenuDescription::menus()) {
        for (const auto& item : menu.items) {
            if (item.isSeparator()) continue;
            EXPECT_TRUE(item.isEnabled(idle)) << item.titleKey.toStdString();
            if (!item.isEnabled(entry)) disabledWhileEntry << item.titleKey;
            if (!item.isEnabled(loading)) disabledWhileLoading << item.titleKey;
        }
    }
    EXPECT_EQ(disabledWhileEntry, QStringList{"すべて選択"});
    EXPECT_EQ(disabledWhileLoading, (QStringList{"プロジェクトを開く…",
                                                 "静止画・動画…",
                                                 "フォルダ…",
                                                 "素材を差し替え…",
                                                 "選択をまとめて左へ",
                                                 "選択をまとめて右へ",
                                                 "選択を削除",
                                                 "デュレーションを入力…（カーソル / Tab）",
                                                 "デュレーションを一括入力…",
                                                 "飛び込み（300%→100%）",
                                                 "既定に戻す",
                                                 "ズーム（0%→100%）",
                                                 "スライド ↑（下から入る）",
                                                 "スライド →（左から入る）",
                                                 "フェード",
                                                 "スライド ←（右から入る）",
                                                 "カット",
                                                 "スライド ↓（上から入る）",
                                                 "回転",
                                                 "タブを追加"}));
}

TEST(MenuDescription, MotionItemsCarryTheirKindAndNudgeAndTabNameRules) {
    QList<std::optional<MotionKind>> motions;
    for (const auto& menu : MenuDescription::menus()) {
        for (const auto& item : menu.items) {
            if (item.command == Command::setMotion) motions << item.motion;
        }
    }
    EXPECT_EQ(motions, (QList<std::optional<MotionKind>>{
                           MotionKind::dive, std::nullopt, MotionKind::zoom, MotionKind::slideUp,
                           MotionKind::slideRight, MotionKind::fade, MotionKind::slideLeft,
                           MotionKind::cut, MotionKind::slideDown, MotionKind::rotate}));

    EXPECT_EQ(MenuDescription::nudgeStep(true, false), -1);
    EXPECT_EQ(MenuDescription::nudgeStep(false, false), 1);
    EXPECT_EQ(MenuDescription::nudgeStep(true, true), 1);
    EXPECT_EQ(MenuDescription::nudgeStep(false, true), -1);
    EXPECT_EQ(MenuDescription::newTabName(3), "Group 4");
    EXPECT_EQ(MenuDescription::newTabName(0), "Group 1");
}

}  // namespace
}  // namespace velmar
