#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

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
// dialog or a text field has the keyboard stays theirs, repeats included, even when the control
// has closed by the time the press arrives.
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
    };
    static PressIdentity identityOf(const QKeyEvent& event);
    static bool isModifierKey(int key);
    // The context the press of `event` is decided in; notes the key's beginning when `event` is
    // the first event of a press.
    KeyContext contextForPress(const QKeyEvent& event, bool isPress);
    void keyReleased(const QKeyEvent& event);
    void perform(const KeyAction& action);

    PlayoutEngine* engine_;
    Hooks hooks_;
    bool started_ = false;
    // The press under way, from its first ShortcutOverride to its KeyPress.
    std::optional<BegunKey> current_;
    // The key held down since its first press, whose repeats belong where that press began.
    std::optional<BegunKey> held_;
    // The last key press and the widget it was last seen at: while Qt hands an unaccepted
    // press on to the parent widgets, the filter sees it again and must not decide again.
    const QEvent* lastPress_ = nullptr;
    QPointer<QWidget> lastReceiver_;
};

}  // namespace velmar
