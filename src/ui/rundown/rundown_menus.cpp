#include "ui/rundown/rundown_menus.h"

#include "core/rundown.h"
#include "models/localized.h"

#include <QFileInfo>
#include <QMenu>

namespace velmar::rundown_menus {

std::optional<int> currentIndexOf(const Rundown& rundown, const QUuid& clipID) {
    if (rundown.groups().isEmpty()) return std::nullopt;
    const auto at = rundown.locate(clipID);
    if (!at || at->first != rundown.safeGroupIndex()) return std::nullopt;
    return at->second;
}

std::optional<int> tabIndexOf(const Rundown& rundown, const QUuid& tabID) {
    const auto& groups = rundown.groups();
    for (int i = 0; i < groups.size(); ++i) {
        if (groups[i].id == tabID) return i;
    }
    return std::nullopt;
}

namespace {

MenuEntry action(const QString& title, std::function<void()> run, bool destructive = false) {
    return {MenuEntry::Kind::action, title, destructive, std::move(run), {}};
}

}  // namespace

QList<MenuEntry> clipMenu(Rundown& rundown, const QUuid& clipID, const ClipMenuCallbacks& calls) {
    const auto index = currentIndexOf(rundown, clipID);
    if (!index) return {};
    const Clip& clip = rundown.groups()[rundown.safeGroupIndex()].clips[*index];
    const bool selected = rundown.reorderSelection().contains(clipID);
    Rundown* r = &rundown;
    // Each action finds the clip again by its id at the moment it runs.
    auto withIndex = [r, clipID](std::function<void(int)> f) {
        return [r, clipID, f = std::move(f)] {
            if (const auto i = currentIndexOf(*r, clipID)) f(*i);
        };
    };
    auto nudge = [r, clipID](int step) {
        return [r, clipID, step] {
            if (currentIndexOf(*r, clipID)) r->nudge(r->targetIDs(clipID), step);
        };
    };

    QList<MenuEntry> menu;
    menu << action(localized("ここへ移動"), withIndex([r](int i) { r->setSelectedIndex(i); }))
         << MenuEntry::separator()
         << action(localized(selected ? "選択をまとめて前へ" : "前へ移動"), nudge(-1))
         << action(localized(selected ? "選択をまとめて後ろへ" : "後ろへ移動"), nudge(+1))
         << MenuEntry::separator();

    MenuEntry toTab{MenuEntry::Kind::submenu, localized("別のタブへ移動"), false, {}, {}};
    const auto& groups = rundown.groups();
    for (int t = 0; t < groups.size(); ++t) {
        if (t == rundown.currentGroupIndex()) continue;
        const QUuid tabID = groups[t].id;
        toTab.children << action(groups[t].name, [r, clipID, tabID] {
            const auto target = tabIndexOf(*r, tabID);
            if (!target || !currentIndexOf(*r, clipID)) return;
            r->moveClips(r->targetIDs(clipID), *target);
        });
    }
    menu << toTab << MenuEntry::separator();

    if (QFileInfo(clip.url.path()).suffix().toLower() == QLatin1String("psd")) {
        menu << action(localized("フォトショップで編集"), [r, clipID, calls] {
            const auto i = currentIndexOf(*r, clipID);
            if (i && calls.openInPhotoshop)
                calls.openInPhotoshop(r->groups()[r->safeGroupIndex()].clips[*i].url);
        }) << MenuEntry::separator();
    }
    menu << action(localized("素材を差し替え…"), withIndex([calls](int i) {
                       if (calls.presentReplace) calls.presentReplace(i);
                   }))
         << MenuEntry::separator()
         << action(localized("リストから削除"), withIndex([r](int i) { r->removeClip(i); }), true);
    return menu;
}

QList<MenuEntry> markerMenu(Rundown& rundown, const QUuid& markerID,
                            const std::function<void(const QUuid&)>& rename) {
    Rundown* r = &rundown;
    return {action(localized("名前を変更…"),
                   [rename, markerID] {
                       if (rename) rename(markerID);
                   }),
            action(
                localized("マーカーを削除"), [r, markerID] { r->removeMarker(markerID); }, true)};
}

QList<MenuEntry> tabMenu(Rundown& rundown, const QUuid& tabID,
                         const std::function<void(const QUuid&)>& rename) {
    Rundown* r = &rundown;
    auto withIndex = [r, tabID](std::function<void(int)> f) {
        return [r, tabID, f = std::move(f)] {
            if (const auto i = tabIndexOf(*r, tabID)) f(*i);
        };
    };
    return {action(localized("名前を変更…"),
                   [rename, tabID] {
                       if (rename) rename(tabID);
                   }),
            MenuEntry::separator(),
            action(localized("左へ移動"), withIndex([r](int i) { r->moveGroup(i, -1); })),
            action(localized("右へ移動"), withIndex([r](int i) { r->moveGroup(i, +1); })),
            MenuEntry::separator(),
            action(localized("タブを削除"), withIndex([r](int i) { r->removeGroup(i); }), true)};
}

void populate(QMenu& menu, const QList<MenuEntry>& entries) {
    for (const MenuEntry& e : entries) {
        switch (e.kind) {
            case MenuEntry::Kind::separator:
                menu.addSeparator();
                break;
            case MenuEntry::Kind::submenu:
                populate(*menu.addMenu(QString(e.title).replace('&', QLatin1String("&&"))),
                         e.children);
                break;
            case MenuEntry::Kind::action: {
                // Titles are shown as they stand: an ampersand is no shortcut mark.
                QAction* a = menu.addAction(QString(e.title).replace('&', QLatin1String("&&")));
                if (e.destructive) a->setProperty("destructive", true);
                QObject::connect(a, &QAction::triggered, &menu, [run = e.run] {
                    if (run) run();
                });
                break;
            }
        }
    }
}

}  // namespace velmar::rundown_menus
