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

// Ctrl+A waits for the number entry. A loading project switches off only what finishes after
// the load may have replaced the rundown (a file panel, the duration sheet); opening, saving,
// the motions and the edits of the strip stay on.
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
    EXPECT_EQ(disabledWhileLoading, (QStringList{"静止画・動画…", "フォルダ…", "素材を差し替え…",
                                                 "デュレーションを入力…（カーソル / Tab）",
                                                 "デュレーションを一括入力…"}));
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
