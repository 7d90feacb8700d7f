#include "ui/panels/test_pattern_menu.h"

#include "app/app_state.h"
#include "core/playout_engine.h"
#include "models/localized.h"
#include "ui/panels/test_pattern_menu_description.h"

#include <QEvent>

namespace velmar {

TestPatternMenu::TestPatternMenu(Bindings bindings, QWidget* parent)
    : QMenu(parent), bindings_(std::move(bindings)) {
    connect(this, &QMenu::aboutToShow, this, &TestPatternMenu::rebuild);
    retranslate();
}

void TestPatternMenu::retranslate() {
    setTitle(localized("テストパターン"));
    rebuild();
}

void TestPatternMenu::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) retranslate();
    QMenu::changeEvent(event);
}

TestPatternMenu::TestPatternMenu(AppState& app, QWidget* parent)
    : TestPatternMenu(Bindings{[&app] { return app.engine().testPattern(); },
                               [&app] { return app.ledCabinet(); },
                               [&app](TestPatternKind kind) { app.toggleTestPattern(kind); },
                               [&app] { app.engine().clearTestPattern(); }},
                      parent) {
    // Queued: a toggle chosen in this menu may change the pattern while its action still runs,
    // and rebuilding deletes the actions.
    connect(&app.engine(), &PlayoutEngine::testPatternChanged, this, &TestPatternMenu::rebuild,
            Qt::QueuedConnection);
}

void TestPatternMenu::rebuild() {
    clear();
    using Kind = TestPatternMenuDescription::Entry::Kind;
    for (const auto& entry :
         TestPatternMenuDescription::build(bindings_.testPattern(), bindings_.ledCabinet())) {
        switch (entry.kind) {
            case Kind::separator:
                addSeparator();
                break;
            case Kind::title:
                addAction(entry.text)->setEnabled(false);
                break;
            case Kind::clear:
                clearAction_ = addAction(entry.text, this, [this] { bindings_.clear(); });
                clearAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
                clearAction_->setShortcutContext(Qt::ApplicationShortcut);  // as the menu bar's
                clearAction_->setEnabled(entry.isEnabled);
                break;
            case Kind::pattern: {
                const TestPatternKind kind = *entry.pattern;
                QAction* action =
                    addAction(entry.text, this, [this, kind] { bindings_.toggle(kind); });
                action->setCheckable(true);
                action->setChecked(entry.isChecked);
                break;
            }
        }
    }
}

}  // namespace velmar
