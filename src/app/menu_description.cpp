#include "app/menu_description.h"

#include "models/localized.h"

namespace velmar {

namespace {

using Command = MenuDescription::Command;
using Enabled = MenuDescription::Enabled;
using Item = MenuDescription::Item;

Item item(const char* titleKey, QKeySequence shortcut, Command command,
          Enabled enabled = Enabled::always) {
    return Item{QString::fromUtf8(titleKey), shortcut, enabled, command, std::nullopt, {}};
}

Item motion(const char* titleKey, QKeySequence shortcut, std::optional<MotionKind> kind) {
    return Item{QString::fromUtf8(titleKey), shortcut, Enabled::always,
                Command::setMotion,          kind,     {}};
}

// An item of the submenu titled `submenuKey`.
Item inSubmenu(const char* submenuKey, Item item) {
    item.submenuKey = QString::fromUtf8(submenuKey);
    return item;
}

Item separator() {
    return Item{};
}

QKeySequence ctrl(int key) {
    return QKeySequence(QKeyCombination(Qt::ControlModifier, Qt::Key(key)));
}
QKeySequence ctrlShift(int key) {
    return QKeySequence(QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key(key)));
}
QKeySequence ctrlAlt(int key) {
    return QKeySequence(QKeyCombination(Qt::ControlModifier | Qt::AltModifier, Qt::Key(key)));
}

QList<MenuDescription::Menu> build() {
    QList<MenuDescription::Menu> menus;
    menus.append({QStringLiteral("DOVRINE"),
                  {
                      item(L10N_KEY("設定…"), ctrl(Qt::Key_Comma), Command::showSettings),
                      separator(),
                      item(L10N_KEY("DOVRINE を終了"), ctrl(Qt::Key_Q), Command::quit),
                  }});
    // The file group. There is no New item: a project starts empty once, at launch.
    menus.append(
        {QString::fromUtf8(L10N_KEY("ファイル")),
         {
             // Opening while a load runs does nothing, so the item stays on.
             item(L10N_KEY("プロジェクトを開く…"), ctrl(Qt::Key_O), Command::openProject),
             item(L10N_KEY("プロジェクトを保存"), ctrl(Qt::Key_S), Command::saveProject),
             item(L10N_KEY("別名で保存…"), ctrlShift(Qt::Key_S), Command::saveProjectAs),
             separator(),
             // A file panel picks files or a folder, not both: one entry each. Import
             // and replace finish after a panel and a background step, so while a
             // project loads they would land in (or be thrown away with) the rundown
             // the load is about to replace: they wait for the load.
             inSubmenu(L10N_KEY("素材をインポート…"),
                       item(L10N_KEY("静止画・動画…"), ctrl(Qt::Key_I), Command::importMedia,
                            Enabled::notWhileLoading)),
             inSubmenu(L10N_KEY("素材をインポート…"),
                       item(L10N_KEY("フォルダ…"), QKeySequence(), Command::importFolder,
                            Enabled::notWhileLoading)),
             separator(),
             item(L10N_KEY("素材を差し替え…"), ctrl(Qt::Key_R), Command::replaceMedia,
                  Enabled::notWhileLoading),
             separator(),
             item(L10N_KEY("すべて選択"), ctrl(Qt::Key_A), Command::selectAll,
                  Enabled::notWhileNumberEntry),
             item(L10N_KEY("選択を解除"), ctrlShift(Qt::Key_A), Command::deselectAll),
             separator(),
             item(L10N_KEY("選択をまとめて左へ"), ctrlAlt(Qt::Key_Left),
                  Command::moveSelectionLeft),
             item(L10N_KEY("選択をまとめて右へ"), ctrlAlt(Qt::Key_Right),
                  Command::moveSelectionRight),
             item(L10N_KEY("選択を削除"), ctrl(Qt::Key_Backspace), Command::deleteSelection),
             separator(),
             item(L10N_KEY("名前で絞り込み…"), ctrl(Qt::Key_F), Command::filterByName),
         }});
    // The digit of each slide is the keypad position of the side the picture enters from.
    // The duration sheet takes its targets when it is applied: opened during a load it would
    // set the durations of the loaded project's clips, so it waits for the load.
    menus.append(
        {QString::fromUtf8(L10N_KEY("エフェクト")),
         {
             item(L10N_KEY("デュレーションを入力…（カーソル / Tab）"), QKeySequence(),
                  Command::durationEditorCursor, Enabled::notWhileLoading),
             item(L10N_KEY("デュレーションを一括入力…"), ctrl(Qt::Key_D),
                  Command::durationEditorBulk, Enabled::notWhileLoading),
             separator(),
             motion(L10N_KEY("飛び込み（300%→100%）"), ctrl(Qt::Key_0), MotionKind::dive),
             motion(L10N_KEY("既定に戻す"), ctrl(Qt::Key_Minus), std::nullopt),
             motion(L10N_KEY("ズーム（0%→100%）"), ctrl(Qt::Key_1), MotionKind::zoom),
             motion(L10N_KEY("スライド ↑（下から入る）"), ctrl(Qt::Key_2), MotionKind::slideUp),
             motion(L10N_KEY("スライド →（左から入る）"), ctrl(Qt::Key_4), MotionKind::slideRight),
             motion(L10N_KEY("フェード"), ctrl(Qt::Key_5), MotionKind::fade),
             motion(L10N_KEY("スライド ←（右から入る）"), ctrl(Qt::Key_6), MotionKind::slideLeft),
             motion(L10N_KEY("カット"), ctrl(Qt::Key_7), MotionKind::cut),
             motion(L10N_KEY("スライド ↓（上から入る）"), ctrl(Qt::Key_8), MotionKind::slideDown),
             motion(L10N_KEY("回転"), ctrl(Qt::Key_9), MotionKind::rotate),
         }});
    menus.append(
        {QString::fromUtf8(L10N_KEY("送出")),
         {
             item(L10N_KEY("SDI 出力 開始 / 停止"), ctrlShift(Qt::Key_D), Command::toggleSDI),
             item(L10N_KEY("サブモニター 開始 / 停止"), ctrlShift(Qt::Key_M),
                  Command::toggleSubMonitor),
             separator(),
             item(L10N_KEY("本番前チェック…"), ctrlShift(Qt::Key_K), Command::showPreflight),
             item(L10N_KEY("信号モニター（SDI フィル / キー）"), ctrl(Qt::Key_F12),
                  Command::toggleSignalMonitor),
             item(L10N_KEY("送出ログを開く"), QKeySequence(), Command::revealLog),
             item(L10N_KEY("プロジェクトの控えを開く"), QKeySequence(), Command::revealBackups),
             separator(),
             item(L10N_KEY("前のタブ"), ctrl(Qt::Key_BracketLeft), Command::previousTab),
             item(L10N_KEY("次のタブ"), ctrl(Qt::Key_BracketRight), Command::nextTab),
             item(L10N_KEY("緊急停止"), ctrl(Qt::Key_Period), Command::panicOff),
             separator(),
             item(L10N_KEY("タブを追加"), ctrl(Qt::Key_T), Command::addTab),
         }});
    menus.append(
        {QString::fromUtf8(L10N_KEY("ヘルプ")),
         {
             item(L10N_KEY("DOVRINE マニュアル"), ctrl(Qt::Key_Question), Command::showManual),
         }});
    return menus;
}

}  // namespace

bool MenuDescription::Item::isEnabled(const State& state) const {
    switch (enabled) {
        case Enabled::always:
            return true;
        case Enabled::notWhileNumberEntry:
            return !state.isNumberEntryOpen;
        case Enabled::notWhileLoading:
            return !state.isProjectLoading;
    }
    return true;
}

const QList<MenuDescription::Menu>& MenuDescription::menus() {
    static const QList<Menu> all = build();
    return all;
}

int MenuDescription::nudgeStep(bool leftItem, bool stripRightToLeft) {
    const int step = leftItem ? -1 : 1;
    return stripRightToLeft ? -step : step;
}

QString MenuDescription::newTabName(int tabCount) {
    return QStringLiteral("Group ") + QString::number(tabCount + 1);
}

}  // namespace velmar
