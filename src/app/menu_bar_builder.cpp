#include "app/menu_bar_builder.h"

#include "models/localized.h"

#include <QAction>
#include <QEvent>
#include <QMenu>
#include <QMenuBar>

namespace velmar {

MenuBarBuilder::MenuBarBuilder(QMenuBar& bar, Run run) {
    for (const MenuDescription::Menu& described : MenuDescription::menus()) {
        QMenu* menu = bar.addMenu(localized(described.titleKey));
        menus_.append({menu, described.titleKey});
        QMenu* submenu = nullptr;
        QString submenuKey;
        for (const MenuDescription::Item& item : described.items) {
            if (item.isSeparator()) {
                menu->addSeparator();
                continue;
            }
            if (item.submenuKey.isEmpty()) {
                submenu = nullptr;
            } else if (!submenu || item.submenuKey != submenuKey) {
                submenuKey = item.submenuKey;
                submenu = menu->addMenu(localized(submenuKey));
                submenus_.append({submenu, submenuKey});
            }
            QAction* action = (submenu ? submenu : menu)->addAction(localized(item.titleKey));
            action->setShortcut(item.shortcut);
            // One menu bar serves every window: its shortcuts work whichever window is active
            // (a focused editor still claims its own editing keys first).
            action->setShortcutContext(Qt::ApplicationShortcut);
            // The application menu's items keep their standard roles (settings, quit).
            action->setMenuRole(item.command == MenuDescription::Command::showSettings
                                    ? QAction::PreferencesRole
                                : item.command == MenuDescription::Command::quit ? QAction::QuitRole
                                                                                 : QAction::NoRole);
            QObject::connect(action, &QAction::triggered, action, [run, item] { run(item); });
            entries_.append({action, item});
        }
    }
    bar.installEventFilter(this);
}

bool MenuBarBuilder::eventFilter(QObject*, QEvent* event) {
    if (event->type() == QEvent::LanguageChange) retranslate();
    return false;
}

void MenuBarBuilder::refresh(const MenuDescription::State& state) {
    for (const Entry& entry : entries_) {
        if (entry.action) entry.action->setEnabled(entry.item.isEnabled(state));
    }
}

void MenuBarBuilder::retranslate() {
    for (const auto& list : {menus_, submenus_}) {
        for (const auto& [menu, key] : list) {
            if (menu) menu->setTitle(localized(key));
        }
    }
    for (const Entry& entry : entries_) {
        if (entry.action) entry.action->setText(localized(entry.item.titleKey));
    }
}

QAction* MenuBarBuilder::action(MenuDescription::Command command,
                                std::optional<MotionKind> motion) const {
    for (const Entry& entry : entries_) {
        if (entry.item.command == command && entry.item.motion == motion) return entry.action;
    }
    return nullptr;
}

QList<QMenu*> MenuBarBuilder::menus() const {
    QList<QMenu*> out;
    for (const auto& [menu, key] : menus_) out.append(menu);
    return out;
}

}  // namespace velmar
