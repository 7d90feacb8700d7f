#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <QUuid>

#include <functional>
#include <optional>

class QMenu;
class QWidget;

namespace velmar {

class Rundown;

// One entry of a context menu, described before any widget exists. An action's `run` names its
// target by id (clip, tab, marker) and finds it again when it runs, so an import or a project
// load that shifts the rundown while the menu is up cannot aim it at another item; when the
// target is gone it does nothing.
struct MenuEntry {
    enum class Kind { action, separator, submenu };
    Kind kind = Kind::action;
    QString title;
    bool destructive = false;
    std::function<void()> run;
    QList<MenuEntry> children;

    static MenuEntry separator() { return {Kind::separator, {}, false, {}, {}}; }
};

// What the clip menu asks of the application state.
struct ClipMenuCallbacks {
    std::function<void(int index)> presentReplace;
    std::function<void(const QUrl&)> openInPhotoshop;
};

namespace rundown_menus {

// The index of a clip in the current tab, found by id; none when it is elsewhere or gone.
std::optional<int> currentIndexOf(const Rundown& rundown, const QUuid& clipID);
// The index of a tab, found by id.
std::optional<int> tabIndexOf(const Rundown& rundown, const QUuid& tabID);

// The menu of a clip cell of the current tab (empty when the clip is not in it).
QList<MenuEntry> clipMenu(Rundown& rundown, const QUuid& clipID, const ClipMenuCallbacks& calls);
// The menu of a marker column; rename begins the rename sheet for the marker.
QList<MenuEntry> markerMenu(Rundown& rundown, const QUuid& markerID,
                            const std::function<void(const QUuid&)>& rename);
// The menu of a tab; rename begins the rename sheet for the tab.
QList<MenuEntry> tabMenu(Rundown& rundown, const QUuid& tabID,
                         const std::function<void(const QUuid&)>& rename);

// Fills a QMenu from a description.
void populate(QMenu& menu, const QList<MenuEntry>& entries);

}  // namespace rundown_menus
}  // namespace velmar
