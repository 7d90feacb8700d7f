#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

class QKeyEvent;
class QWidget;

namespace velmar {

class PlayoutEngine;

// One key press as the control surface sees it: the Qt key (keypad digits and Enter carry
// Qt::KeypadModifier), its modifiers (Ctrl stands for Command, Alt for Option, Meta for Control)
// and whether it is an auto-repeat.
struct KeyInput {
    int key = 0;
    Qt::KeyboardModifiers modifiers;
    bool isAutoRepeat = false;
};

// What surrounds the key press: the application's entry flags and the windows in front.
struct KeyContext {
    bool isSettingsOpen = false;
    bool isNumberEntryOpen = false;
    bool isFilePanelOpen = false;
    bool isProjectLoading = false;
    QString keyWindowName;    // object name of the active window
    QString sheetParentName;  // object name of the window a window-modal active window sits on
    bool hasModalWindow = false;
    bool textInputFocused = false;
    // The menu bar has taken the keyboard (after Alt alone, or a menu left with Esc): its keys
    // move through the menus, and Esc hands the keyboard back to the window.
    bool menuBarHasKeyboard = false;
};

// The decision for one key press. Everything but passOn and titleEditor consumes the press;
// titleEditor hands it to the title editor, which says whether it took it.
struct KeyAction {
    enum class Kind {
        passOn,
        consume,  // dropped: a held key whose command ran once
        toggleSignalMonitor,
        titleEditor,
        cutToggle,
        dskCut,
        dskNext,
        dskFade,
        shuttle,      // argument: direction
        slowShuttle,  // argument: direction
        openDurationEditorCursor,
        returnPressed,
        spacePressed,
        panicOff,
        selectFirst,
        jumpToLast,
        extendSelection,  // argument: step
        jumpToMarker,     // argument: 1 forward, 0 back
        selectPrevious,
        selectNext,
        selectGroup,  // argument: tab index
    };
    Kind kind = Kind::passOn;
    int argument = 0;

    bool consumes() const { return kind != Kind::passOn && kind != Kind::titleEditor; }
    friend bool operator==(const KeyAction&, const KeyAction&) = default;
};

// The single-key control surface: turns key presses anywhere in the application into take,
// keyer, shuttle and navigation commands, unless the operator is typing, working in a dialog or
// a tool window, holding Ctrl, or a project is loading. An application event filter installed by
// start() and removed by stop(); decide() is the whole rule set, free of any widget. A press is
// decided in the context its key began in: a key that begins while a list, a menu, a popover, a
// dialog, a text field or the menu bar has the keyboard stays theirs, repeats included, even when
// the control has closed by the time the press arrives. A modifier held down carries the context
// it began in to the keys pressed with it, so Alt pressed in an open menu (which closes it) does
// not make the Esc or Return that follows a command. A key is pressed afresh only after its real
// release: the release an X server sends between auto-repeats, marked or not, does not end it.
class KeyMonitor : public QObject {
    Q_OBJECT
  public:
    // The application state flags the decision reads at every press.
    struct Flags {
        bool isSettingsOpen = false;
        bool isNumberEntryOpen = false;
        bool isFilePanelOpen = false;
        bool isProjectLoading = false;
    };
    struct Hooks {
        std::function<Flags()> flags;
        std::function<void()> toggleSignalMonitor;
        std::function<void()> openDurationEditorCursor;
        // The title editor's own key handling; true when it took the press.
        std::function<bool(QKeyEvent*)> titleEditorHandleKey;
        // Whether the title editor would take the press, without running it; such a press is
        // kept from the application-wide menu shortcuts.
        std::function<bool(QKeyEvent*)> titleEditorTakesKey;
        // Runs a consuming action; null: on the engine (and the hooks above).
        std::function<void(const KeyAction&)> perform;
    };

    // `engine` may be null only when `hooks.perform` is given.
    KeyMonitor(PlayoutEngine* engine, Hooks hooks, QObject* parent = nullptr);
    ~KeyMonitor() override;

    static KeyAction decide(const KeyInput& input, const KeyContext& context);
    // Ctrl+F12 (keypad and caps lock aside).
    static bool isSignalMonitorKey(const KeyInput& input);
    // Ctrl+A and Ctrl+Backspace: a focused text editor's own select-all and delete-word, which
    // the menus bind to strip commands; the editor claims them first.
    static bool isEditingShortcut(const KeyInput& input);
    // The context of the widgets in front now, with the given flags.
    static KeyContext currentContext(const Flags& flags);

    // Installs the filter on the application; does nothing when installed.
    void start();
    // Removes the filter.
    void stop();
    bool isStarted() const { return started_; }

    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // One physical key press: a ShortcutOverride and the KeyPress that follows it carry the same.
    struct PressIdentity {
        int key = 0;
        Qt::KeyboardModifiers modifiers;
        quint64 timestamp = 0;
        quint32 scanCode = 0;
        bool isAutoRepeat = false;
        friend bool operator==(const PressIdentity&, const PressIdentity&) = default;
    };
    // A key from its first event on: the context it began in is the one its press is decided
    // in, since a control that had the keyboard may close while handling the ShortcutOverride.
    struct BegunKey {
        PressIdentity press;
        KeyContext context;
        bool pressDelivered = false;  // its KeyPress has been seen
        bool repeat = false;          // it repeats the held key, marked so or not
        // The popup, modal window or window in front when the key began.
        QPointer<QWidget> front;
    };
    // A release that may be one an X server sends between two auto-repeats: the repeat that
    // follows carries the same timestamp, and comes unmarked when the platform missed the pair.
    struct PendingRelease {
        int key = 0;
        quint32 scanCode = 0;
        quint64 timestamp = 0;
    };
    static PressIdentity identityOf(const QKeyEvent& event);
    static bool isModifierKey(int key);
    // The key input of a press and the context it is decided in; notes the key's beginning
    // when `event` is the first event of a press. An unmarked auto-repeat of the held key comes
    // out marked.
    std::pair<KeyInput, KeyContext> pressOf(const QKeyEvent& event, bool isPress);
    // Whether `event` repeats the held key: marked so, or pressed at the very moment of the
    // key's last release, which is how an unmarked auto-repeat arrives.
    bool repeatsHeldKey(const QKeyEvent& event) const;
    // The popup, else the modal window, else the active window: what takes the keys now.
    static QWidget* frontWidget();
    // Whether the press under way repeats a key that began in front of something else: a held
    // key that chose a menu item or answered a box must not answer what that opened.
    bool isStrayRepeat() const;
    void keyReleased(const QKeyEvent& event);
    // A menu bar menu opened with the mouse and left with Esc gives the keyboard back to the
    // window instead of leaving the menu bar holding it.
    void watchMenuBar(QObject* watched, QEvent* event);
    void releaseMenuBarAfterMouseMenu();
    void perform(const KeyAction& action);

    PlayoutEngine* engine_;
    Hooks hooks_;
    bool started_ = false;
    // The press under way, from its first ShortcutOverride to its KeyPress.
    std::optional<BegunKey> current_;
    // The key held down since its first press, whose repeats belong where that press began.
    std::optional<BegunKey> held_;
    // The held key's last release, while it may yet turn out to have been an auto-repeat's.
    std::optional<PendingRelease> heldRelease_;
    // Modifier keys held down, each with the context it was pressed in.
    struct HeldModifier {
        int key = 0;
        Qt::KeyboardModifiers flag;
        KeyContext context;
    };
    QList<HeldModifier> modifiers_;
    // The menu bar whose menu was last opened with the mouse, and the widget that had the
    // keyboard then; cleared when the keyboard opens a menu from the menu bar itself.
    QPointer<QWidget> mouseMenuBar_;
    QPointer<QWidget> focusBeforeMouseMenu_;
    // The last key press and the widget it was last seen at: while Qt hands an unaccepted
    // press on to the parent widgets, the filter sees it again and must not decide again.
    const QEvent* lastPress_ = nullptr;
    PressIdentity lastPressIdentity_;
    QPointer<QWidget> lastReceiver_;
};

}  // namespace velmar
