#include "app/menu_description.h"

#include <QMap>

#include <gtest/gtest.h>

namespace velmar {
namespace {

using Command = MenuDescription::Command;

QMap<QString, QString> shortcutsByTitle() {
    QMap<QString, QString> out;
    for (const auto& menu : MenuDescription::menus()) {
        for (const auto& item : menu.items) {
            if (!item.isSeparator()) out.insert(item.titleKey, item.shortcut.toString());
        }
    }
    return out;
}

TEST(MenuDescription, MenusAndShortcutsInOrderWithoutNewOrCtrl3) {
    QStringList titles;
    for (const auto& menu : MenuDescription::menus()) titles << menu.titleKey;
    EXPECT_EQ(titles, (QStringList{"DOVRINE", "ファイル", "エフェクト", "送出", "ヘルプ"}));

    const QMap<QString, QString> expected{
        {"DOVRINE を終了", "Ctrl+Q"},
        {"プロジェクトを開く…", "Ctrl+O"},
        {"プロジェクトを保存", "Ctrl+S"},
        {"別名で保存…", "Ctrl+Shift+S"},
        {"素材をインポート…", "Ctrl+I"},
        {"素材を差し替え…", "Ctrl+R"},
        {"すべて選択", "Ctrl+A"},
        {"選択を解除", "Ctrl+Shift+A"},
        {"選択をまとめて左へ", "Ctrl+Alt+Left"},
        {"選択をまとめて右へ", "Ctrl+Alt+Right"},
        {"選択を削除", "Ctrl+Backspace"},
        {"名前で絞り込み…", "Ctrl+F"},
        {"デュレーションを入力…（カーソル / Tab）", ""},
        {"デュレーションを一括入力…", "Ctrl+D"},
        {"飛び込み（300%→100%）", "Ctrl+0"},
        {"既定に戻す", "Ctrl+-"},
        {"ズーム（0%→100%）", "Ctrl+1"},
        {"スライド ↑（下から入る）", "Ctrl+2"},
        {"スライド →（左から入る）", "Ctrl+4"},
        {"フェード", "Ctrl+5"},
        {"スライド ←（右から入る）", "Ctrl+6"},
        {"カット", "Ctrl+7"},
        {"スライド ↓（上から入る）", "Ctrl+8"},
        {"回転", "Ctrl+9"},
        {"SDI 出力 開始 / 停止", "Ctrl+Shift+D"},
        {"サブモニター 開始 / 停止", "Ctrl+Shift+M"},
        {"本番前チェック…", "Ctrl+Shift+K"},
        {"信号モニター（SDI フィル / キー）", "Ctrl+F12"},
        {"送出ログを開く", ""},
        {"プロジェクトの控えを開く", ""},
        {"前のタブ", "Ctrl+["},
        {"次のタブ", "Ctrl+]"},
        {"緊急停止", "Ctrl+."},
        {"タブを追加", "Ctrl+T"},
        {"DOVRINE マニュアル", "Ctrl+?"},
    };
    QMap<QString, QString> got = shortcutsByTitle();
    got.remove("設定…");  // the platform's standard settings key
    EXPECT_EQ(got, expected);
    for (const QString& shortcut : got) {
        EXPECT_NE(shortcut, "Ctrl+N");
        EXPECT_NE(shortcut, "Ctrl+3");
    }
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
    EXPECT_EQ(disabledWhileLoading,
              (QStringList{"プロジェクトを開く…", "素材をインポート…", "素材を差し替え…",
                           "選択をまとめて左へ", "選択をまとめて右へ", "選択を削除",
                           "デュレーションを入力…（カーソル / Tab）", "デュレーションを一括入力…",
                           "飛び込み（300%→100%）", "既定に戻す", "ズーム（0%→100%）",
                           "スライド ↑（下から入る）", "スライド →（左から入る）", "フェード",
                           "スライド ←（右から入る）", "カット", "スライド ↓（上から入る）", "回転",
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
