#pragma once

#include "app/menu_description.h"

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>
#include <optional>

class QAction;
class QMenu;
class QMenuBar;

namespace velmar {

// Fills a menu bar from the menu description: one menu per described menu, one action per item
// with its looked-up title and its shortcut; choosing an action runs its item. refresh() applies
// the enabled rules (call it whenever the state they read changes, since shortcuts fire without
// the menu being shown); retranslate() looks the titles up again, as it does at every language
// change the bar sees.
class MenuBarBuilder : public QObject {
  public:
    using Run = std::function<void(const MenuDescription::Item&)>;

    MenuBarBuilder(QMenuBar& bar, Run run);

    void refresh(const MenuDescription::State& state);
    void retranslate();

    // The action of a command (and motion, for the motion items); null when there is none.
    QAction* action(MenuDescription::Command command,
                    std::optional<MotionKind> motion = std::nullopt) const;
    QList<QMenu*> menus() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    struct Entry {
        QPointer<QAction> action;
        MenuDescription::Item item;
    };
    QList<Entry> entries_;
    QList<QPair<QPointer<QMenu>, QString>> menus_;
    // Items naming a submenu are gathered in it. Every shortcut is application-wide, so that
    // each window of the program reaches the commands.
    QList<QPair<QPointer<QMenu>, QString>> submenus_;
};

}  // namespace velmar
