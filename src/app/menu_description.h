#pragma once

#include "models/motion_kind.h"

#include <QKeySequence>
#include <QList>
#include <QString>

#include <optional>

namespace velmar {

// The menu bar as data: each menu's title key and its items (title key, shortcut, enabled rule,
// command). Titles are Japanese keys looked up with localized() when the bar is built. Pure:
// MenuBarBuilder turns it into widgets, MenuCommands runs the commands.
struct MenuDescription {
    enum class Command {
        openProject,
        saveProject,
        saveProjectAs,
        importMedia,   // the file panel for stills and movies
        importFolder,  // the folder panel
        replaceMedia,
        selectAll,
        deselectAll,
        moveSelectionLeft,
        moveSelectionRight,
        deleteSelection,
        filterByName,
        durationEditorCursor,
        durationEditorBulk,
        setMotion,  // the item's `motion`; none: back to the default motion
        toggleSDI,
        toggleSubMonitor,
        showPreflight,
        toggleSignalMonitor,
        revealLog,
        revealBackups,
        previousTab,
        nextTab,
        panicOff,
        addTab,
        showManual,
        showSettings,
        quit,
    };

    // When an item is enabled.
    enum class Enabled {
        always,
        notWhileNumberEntry,  // a number-entry sheet would lose the selection it edits
        notWhileLoading,      // finishes later, when a loading project has replaced the rundown
    };

    struct State {
        bool isNumberEntryOpen = false;
        bool isProjectLoading = false;
    };

    struct Item {
        QString titleKey;  // empty: a separator
        QKeySequence shortcut;
        Enabled enabled = Enabled::always;
        Command command = Command::openProject;
        std::optional<MotionKind> motion;
        // Non-empty: the item stands in a submenu of this title, with the items next to it that
        // name the same submenu.
        QString submenuKey;

        bool isSeparator() const { return titleKey.isEmpty(); }
        bool isEnabled(const State& state) const;
    };

    struct Menu {
        QString titleKey;
        QList<Item> items;
    };

    // The application menu (settings, quit), the file group, "エフェクト", "送出" and the help
    // menu, in that order.
    static const QList<Menu>& menus();

    // The step of a "move the selection" item: -1 left, +1 right, swapped when the strip runs
    // right to left so that the clips move the way they are seen to.
    static int nudgeStep(bool leftItem, bool stripRightToLeft);
    // "Group " and the number of tabs before the addition plus one.
    static QString newTabName(int tabCount);
};

}  // namespace velmar
