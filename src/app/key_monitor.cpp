#include "app/key_monitor.h"

#include "core/dsk_controller.h"
#include "core/playout_engine.h"
#include "core/rundown.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

namespace velmar {

namespace {

using Kind = KeyAction::Kind;

// Modifiers that make a Ctrl shortcut different from plain Ctrl (keypad and caps lock do not).
constexpr Qt::KeyboardModifiers kShortcutMask =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;
// Modifiers that stop a key from being plain; Ctrl was ruled out before this mask is used.
constexpr Qt::KeyboardModifiers kPlainMask = Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier;

const QString kTitleEditor = QStringLiteral("dovrine.titleEditor");
const QString kManual = QStringLiteral("velmar.manual");
const QString kPreflight = QStringLiteral("velmar.preflight");

// Keys whose repeats are dropped, so that holding them runs their command once.
bool runsOnceWhenHeld(int key) {
    switch (key) {
        case Qt::Key_V:
        case Qt::Key_B:
        case Qt::Key_Return:
        case Qt::Key_L:
        case Qt::Key_J:
        case Qt::Key_K:
        case Qt::Key_N:
        case Qt::Key_M:
        case Qt::Key_Space:
        case Qt::Key_Enter:
            return true;
        default:
            return false;
    }
}

KeyAction act(Kind kind, int argument = 0) {
    return KeyAction{kind, argument};
}

bool isTextInput(const QWidget* widget) {
    if (!widget) return false;
    if (qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QTextEdit*>(widget) ||
        qobject_cast<const QPlainTextEdit*>(widget) ||
        qobject_cast<const QAbstractSpinBox*>(widget)) {
        return true;
    }
    const auto* combo = qobject_cast<const QComboBox*>(widget);
    return combo && combo->isEditable();
}

}  // namespace

bool KeyMonitor::isSignalMonitorKey(const KeyInput& input) {
    return input.key == Qt::Key_F12 && (input.modifiers & kShortcutMask) == Qt::ControlModifier;
}

bool KeyMonitor::isEditingShortcut(const KeyInput& input) {
    return (input.modifiers & kShortcutMask) == Qt::ControlModifier &&
           (input.key == Qt::Key_A || input.key == Qt::Key_Backspace);
}

KeyAction KeyMonitor::decide(const KeyInput& input, const KeyContext& context) {
    const Qt::KeyboardModifiers mods = input.modifiers;
    // The signal monitor key works everywhere, before any pass-through rule.
    if (isSignalMonitorKey(input)) {
        return act(input.isAutoRepeat ? Kind::consume : Kind::toggleSignalMonitor);
    }
    if (context.isSettingsOpen || context.isNumberEntryOpen || context.isFilePanelOpen ||
        context.isProjectLoading) {
        return act(Kind::passOn);
    }
    if (context.keyWindowName == kTitleEditor || context.sheetParentName == kTitleEditor) {
        return act(Kind::titleEditor);
    }
    if (context.hasModalWindow || context.menuBarHasKeyboard) return act(Kind::passOn);
    if (context.keyWindowName == kManual || context.keyWindowName == kPreflight) {
        return act(Kind::passOn);
    }
    if (context.textInputFocused) return act(Kind::passOn);
    if (mods & Qt::ControlModifier) return act(Kind::passOn);
    if (input.isAutoRepeat && runsOnceWhenHeld(input.key)) return act(Kind::consume);

    const Qt::KeyboardModifiers held = mods & kPlainMask;
    const bool plain = held == Qt::NoModifier;
    const bool shiftAlone = held == Qt::ShiftModifier;
    switch (input.key) {
        case Qt::Key_V:
            return act(plain ? Kind::cutToggle : Kind::passOn);
        case Qt::Key_B:
            return act(plain ? Kind::dskCut : Kind::passOn);
        case Qt::Key_N:
            return act(plain ? Kind::dskNext : Kind::passOn);
        case Qt::Key_M:
            return act(plain ? Kind::dskFade : Kind::passOn);
        case Qt::Key_K:
            return plain ? act(Kind::shuttle, 0) : act(Kind::passOn);
        case Qt::Key_L:
        case Qt::Key_J: {
            const int direction = input.key == Qt::Key_L ? 1 : -1;
            if (plain) return act(Kind::shuttle, direction);
            if (shiftAlone) return act(Kind::slowShuttle, direction);
            return act(Kind::passOn);
        }
        case Qt::Key_Tab:
            return act(plain ? Kind::openDurationEditorCursor : Kind::passOn);
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return act(Kind::returnPressed);
        case Qt::Key_Space:
            return act(Kind::spacePressed);
        case Qt::Key_Escape:
            return act(Kind::panicOff);
        case Qt::Key_Home:
            return act(Kind::selectFirst);
        case Qt::Key_End:
            return act(Kind::jumpToLast);
        case Qt::Key_Left:
        case Qt::Key_Right: {
            const bool forward = input.key == Qt::Key_Right;
            if (mods & Qt::ShiftModifier) return act(Kind::extendSelection, forward ? 1 : -1);
            if (mods & Qt::AltModifier) return act(Kind::jumpToMarker, forward ? 1 : 0);
            return act(forward ? Kind::selectNext : Kind::selectPrevious);
        }
        default:
            break;
    }
    if (plain && input.key >= Qt::Key_1 && input.key <= Qt::Key_9) {
        return act(Kind::selectGroup, input.key - Qt::Key_1);
    }
    return act(Kind::passOn);
}

KeyContext KeyMonitor::currentContext(const Flags& flags) {
    KeyContext context;
    context.isSettingsOpen = flags.isSettingsOpen;
    context.isNumberEntryOpen = flags.isNumberEntryOpen;
    context.isFilePanelOpen = flags.isFilePanelOpen;
    context.isProjectLoading = flags.isProjectLoading;
    if (const QWidget* window = QApplication::activeWindow()) {
        context.keyWindowName = window->objectName();
        if (window->windowModality() == Qt::WindowModal && window->parentWidget()) {
            context.sheetParentName = window->parentWidget()->window()->objectName();
        }
    }
    // An open popup (a menu, a combo box list) takes the keys as a modal window does.
    context.hasModalWindow = QApplication::activeModalWidget() != nullptr ||
                             QApplication::activePopupWidget() != nullptr;
    context.textInputFocused = isTextInput(QApplication::focusWidget());
    // A menu bar with the keyboard has an item chosen; one left with Esc may keep the focus with
    // nothing chosen, and then the keys are the show's.
    const auto* bar = qobject_cast<const QMenuBar*>(QApplication::focusWidget());
    context.menuBarHasKeyboard = bar && bar->activeAction();
    return context;
}

KeyMonitor::KeyMonitor(PlayoutEngine* engine, Hooks hooks, QObject* parent)
    : QObject(parent), engine_(engine), hooks_(std::move(hooks)) {}

KeyMonitor::~KeyMonitor() = default;

void KeyMonitor::start() {
    if (started_ || !qApp) return;
    qApp->installEventFilter(this);
    started_ = true;
}

void KeyMonitor::stop() {
    if (started_ && qApp) qApp->removeEventFilter(this);
    started_ = false;
}

namespace {

// Adds to `context` whatever has the keyboard in `other`.
void addHolders(KeyContext& context, const KeyContext& other) {
    context.isSettingsOpen |= other.isSettingsOpen;
    context.isNumberEntryOpen |= other.isNumberEntryOpen;
    context.isFilePanelOpen |= other.isFilePanelOpen;
    context.isProjectLoading |= other.isProjectLoading;
    context.hasModalWindow |= other.hasModalWindow;
    context.textInputFocused |= other.textInputFocused;
    context.menuBarHasKeyboard |= other.menuBarHasKeyboard;
}

// The context a press is decided in: where its key began, and nothing that has taken the
// keyboard since forgotten.
KeyContext joined(const KeyContext& began, const KeyContext& now) {
    KeyContext context = began;
    addHolders(context, now);
    return context;
}

Qt::KeyboardModifiers modifierOf(int key) {
    switch (key) {
        case Qt::Key_Shift:
            return Qt::ShiftModifier;
        case Qt::Key_Control:
            return Qt::ControlModifier;
        case Qt::Key_Alt:
            return Qt::AltModifier;
        case Qt::Key_Meta:
            return Qt::MetaModifier;
        default:
            return Qt::NoModifier;
    }
}

}  // namespace

bool KeyMonitor::isModifierKey(int key) {
    switch (key) {
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Meta:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock:
        case Qt::Key_ScrollLock:
        case Qt::Key_Super_L:
        case Qt::Key_Super_R:
        case Qt::Key_Hyper_L:
        case Qt::Key_Hyper_R:
            return true;
        default:
            return false;
    }
}

KeyMonitor::PressIdentity KeyMonitor::identityOf(const QKeyEvent& event) {
    return PressIdentity{event.key(), event.modifiers(), event.timestamp(), event.nativeScanCode(),
                         event.isAutoRepeat()};
}

bool KeyMonitor::repeatsHeldKey(const QKeyEvent& event) const {
    if (!held_ || held_->press.key != event.key() ||
        held_->press.scanCode != event.nativeScanCode()) {
        return false;
    }
    if (event.isAutoRepeat()) return true;
    // Only events from a keyboard (with a scan code and a time) are taken for repeats: those made
    // up by the program or by tests may share a millisecond without being one.
    return heldRelease_ && heldRelease_->timestamp != 0 && event.nativeScanCode() != 0 &&
           heldRelease_->timestamp == event.timestamp() &&
           heldRelease_->scanCode == event.nativeScanCode();
}

QWidget* KeyMonitor::frontWidget() {
    if (QWidget* popup = QApplication::activePopupWidget()) return popup;
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    return QApplication::activeWindow();
}

bool KeyMonitor::isStrayRepeat() const {
    return current_ && current_->repeat && current_->front != frontWidget();
}

std::pair<KeyInput, KeyContext> KeyMonitor::pressOf(const QKeyEvent& event, bool isPress) {
    const PressIdentity press = identityOf(event);
    const KeyContext now = currentContext(hooks_.flags ? hooks_.flags() : Flags{});
    KeyInput input{event.key(), event.modifiers(), event.isAutoRepeat()};
    // The ShortcutOverride handed on to further receivers, or the KeyPress that follows it.
    if (current_ && current_->press == press && !current_->pressDelivered) {
        if (isPress) current_->pressDelivered = true;
        input.isAutoRepeat = current_->repeat;
        return {input, joined(current_->context, now)};
    }
    // A new press. A repeat of the held key belongs where the key began.
    const bool repeat = repeatsHeldKey(event);
    KeyContext began = repeat ? joined(held_->context, now) : now;
    if (repeat) heldRelease_.reset();  // the release was the repeat's, not the key's
    input.isAutoRepeat = repeat;
    if (const Qt::KeyboardModifiers flag = modifierOf(press.key); flag != Qt::NoModifier) {
        // A modifier is held from where it was pressed; its auto-repeats change nothing.
        if (!event.isAutoRepeat()) {
            modifiers_.removeIf([&](const HeldModifier& m) { return m.key == press.key; });
            modifiers_.append({press.key, flag, now});
        }
    } else {
        // A modifier whose release was not seen (the window lost the keyboard) is held no
        // longer once a press comes without it.
        modifiers_.removeIf([&](const HeldModifier& m) { return !(event.modifiers() & m.flag); });
        for (const HeldModifier& modifier : modifiers_) addHolders(began, modifier.context);
    }
    current_ =
        BegunKey{press, began, isPress, repeat, repeat ? held_->front.data() : frontWidget()};
    // A modifier pressed or let go during the hold does not end it: the held key goes on
    // repeating, and its repeats still belong where it began.
    if (!repeat && !isModifierKey(press.key)) {
        held_ = current_;
        heldRelease_.reset();
    }
    return {input, began};
}

void KeyMonitor::keyReleased(const QKeyEvent& event) {
    // A platform's auto-repeat releases between repeated presses do not end the key.
    if (event.isAutoRepeat()) return;
    modifiers_.removeIf([&](const HeldModifier& m) { return m.key == event.key(); });
    if (held_ && held_->press.key == event.key()) {
        // An X server sends a release before each auto-repeat, and the platform does not always
        // mark the pair: the key is held until a press shows this release was not a repeat's.
        if (event.timestamp() != 0 && event.nativeScanCode() != 0) {
            heldRelease_ = PendingRelease{event.key(), event.nativeScanCode(), event.timestamp()};
        } else {
            held_.reset();
            heldRelease_.reset();
        }
    }
    if (current_ && current_->press.key == event.key()) current_.reset();
}

void KeyMonitor::watchMenuBar(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (auto* bar = qobject_cast<QMenuBar*>(watched)) {
                // The window's own focus child: on an X server without a window manager no
                // window may be active, and keys still reach the window's focus child.
                QWidget* focus = bar->window()->focusWidget();
                if (focus != bar) focusBeforeMouseMenu_ = focus;
                mouseMenuBar_ = bar;
            }
            break;
        case QEvent::KeyPress:
        case QEvent::Shortcut:
            // The keyboard opens a menu from the menu bar (after Alt, or by a mnemonic): Esc
            // in that menu goes back to the menu bar, as keyboard users expect. A key an open
            // menu hands on to the menu bar (an arrow to the next menu, a key it does not know)
            // leaves a menu opened with the mouse one, and the next menu too.
            if (qobject_cast<QMenuBar*>(watched) && !QApplication::activePopupWidget()) {
                mouseMenuBar_ = nullptr;
            }
            break;
        case QEvent::Hide:
            if (mouseMenuBar_ && qobject_cast<QMenu*>(watched)) {
                // The menu leaves the menu bar holding the keyboard only after it has hidden.
                QMetaObject::invokeMethod(
                    this, [this] { releaseMenuBarAfterMouseMenu(); }, Qt::QueuedConnection);
            }
            break;
        default:
            break;
    }
}

void KeyMonitor::releaseMenuBarAfterMouseMenu() {
    QWidget* bar = mouseMenuBar_;
    if (!bar || QApplication::activePopupWidget()) return;
    mouseMenuBar_ = nullptr;
    const auto* menuBar = qobject_cast<QMenuBar*>(bar);
    if (bar->window()->focusWidget() != bar || !menuBar->activeAction()) return;
    // Moving the focus away ends the menu bar's keyboard mode.
    QWidget* before = focusBeforeMouseMenu_;
    if (before && before->window() == bar->window() && before->isVisible() && before->isEnabled()) {
        before->setFocus(Qt::OtherFocusReason);
    } else {
        bar->clearFocus();
    }
}

bool KeyMonitor::eventFilter(QObject* watched, QEvent* event) {
    // A key press comes as a ShortcutOverride and then a KeyPress. A control with the keyboard
    // may finish with the key on the first (a combo box list closes, or chooses and closes), so
    // the context is taken there and the KeyPress is decided in it.
    watchMenuBar(watched, event);
    if (event->type() == QEvent::KeyRelease) {
        keyReleased(*static_cast<QKeyEvent*>(event));
        return false;
    }
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        const auto [input, context] = pressOf(*key, false);
        // The repeats of a key held since before what is in front now opened (a menu item
        // chosen with Return, a box it put up) are nobody's: neither a shortcut nor a key for
        // what opened. Claimed here, and dropped as a press below.
        if (isStrayRepeat()) {
            event->accept();
            return true;
        }
        // Ctrl+F12 is taken here on the press; claiming its override keeps the menu item's
        // shortcut from toggling a second time. A focused editor claims its editing keys, which
        // the menus also bind to strip commands.
        if (isSignalMonitorKey(input) ||
            (isTextInput(QApplication::focusWidget()) && isEditingShortcut(input))) {
            event->accept();
            return true;
        }
        // The menu shortcuts reach every window; in a title editor the keys its own handler
        // takes are its own, and the press goes on to it.
        if (hooks_.titleEditorTakesKey && decide(input, context).kind == Kind::titleEditor &&
            hooks_.titleEditorTakesKey(key)) {
            event->accept();
            return true;
        }
        return false;
    }
    if (event->type() != QEvent::KeyPress) return false;
    // A press reaches the window object first, then its widgets; decide at the widgets.
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    // Qt makes each press from the platform at the same place, so the address alone does not
    // tell a press handed on from a new one: its time, key and scan code do.
    const PressIdentity identity = identityOf(*key);
    if (event == lastPress_ && identity == lastPressIdentity_ && lastReceiver_ &&
        widget == lastReceiver_->parentWidget()) {
        lastReceiver_ = widget;  // the same press handed on to a parent: decided already
        return false;
    }
    lastPress_ = event;
    lastPressIdentity_ = identity;
    lastReceiver_ = widget;

    const auto [input, context] = pressOf(*key, true);
    if (isStrayRepeat()) return true;
    const KeyAction action = decide(input, context);
    if (action.kind == Kind::titleEditor) {
        return hooks_.titleEditorHandleKey && hooks_.titleEditorHandleKey(key);
    }
    if (!action.consumes()) return false;
    if (action.kind != Kind::consume) perform(action);
    return true;
}

void KeyMonitor::perform(const KeyAction& action) {
    if (hooks_.perform) {
        hooks_.perform(action);
        return;
    }
    if (!engine_) return;
    PlayoutEngine& engine = *engine_;
    Rundown& rundown = engine.rundown();
    switch (action.kind) {
        case Kind::passOn:
        case Kind::consume:
        case Kind::titleEditor:
            break;
        case Kind::toggleSignalMonitor:
            if (hooks_.toggleSignalMonitor) hooks_.toggleSignalMonitor();
            break;
        case Kind::cutToggle:
            engine.cutTogglePressed();
            break;
        case Kind::dskCut:
            engine.dsk().cut();
            break;
        case Kind::dskNext:
            engine.dsk().next();
            break;
        case Kind::dskFade:
            engine.dsk().fade(engine.fadeDuration());
            break;
        case Kind::shuttle:
            engine.shuttleProgram(action.argument);
            break;
        case Kind::slowShuttle:
            engine.slowShuttleProgram(action.argument);
            break;
        case Kind::openDurationEditorCursor:
            if (hooks_.openDurationEditorCursor) hooks_.openDurationEditorCursor();
            break;
        case Kind::returnPressed:
            engine.returnPressed();
            break;
        case Kind::spacePressed:
            engine.spacePressed();
            break;
        case Kind::panicOff:
            engine.panicOff();
            break;
        case Kind::selectFirst:
            rundown.setSelectedIndex(0);
            break;
        case Kind::jumpToLast:
            rundown.jumpToLast();
            break;
        case Kind::extendSelection:
            rundown.extendSelection(action.argument);
            break;
        case Kind::jumpToMarker:
            rundown.jumpToMarker(action.argument != 0);
            break;
        case Kind::selectPrevious:
            rundown.selectPrevious();
            break;
        case Kind::selectNext:
            rundown.selectNext();
            break;
        case Kind::selectGroup:
            rundown.selectGroup(action.argument);
            break;
    }
}

}  // namespace velmar
