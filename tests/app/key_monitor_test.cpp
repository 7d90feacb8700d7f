#include "app/key_monitor.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

using Kind = KeyAction::Kind;
constexpr auto kShift = Qt::ShiftModifier;
constexpr auto kCtrl = Qt::ControlModifier;
constexpr auto kAlt = Qt::AltModifier;
constexpr auto kMeta = Qt::MetaModifier;
constexpr auto kPad = Qt::KeypadModifier;

struct Case {
    const char* name;
    int key;
    Qt::KeyboardModifiers modifiers;
    bool repeat;
    KeyContext context;
    KeyAction expected;
};

using C = KeyContext;
const C kMain;
const C kTyping{.textInputFocused = true};
const C kTitleEditor{.keyWindowName = "dovrine.titleEditor", .textInputFocused = true};

KeyAction a(Kind kind, int argument = 0) {
    return KeyAction{kind, argument};
}
const KeyAction kPass = a(Kind::passOn);

// The whole rule set, in the order the rules are applied.
const Case kCases[] = {
    // The signal monitor key first of all, once per hold, with Ctrl alone among the shortcut keys.
    {"ctrlF12", Qt::Key_F12, kCtrl, false, kMain, a(Kind::toggleSignalMonitor)},
    {"ctrlF12Loading", Qt::Key_F12, kCtrl, false, C{.isProjectLoading = true},
     a(Kind::toggleSignalMonitor)},
    {"ctrlF12Typing", Qt::Key_F12, kCtrl, false, kTyping, a(Kind::toggleSignalMonitor)},
    {"ctrlF12Keypad", Qt::Key_F12, kCtrl | kPad, false, kMain, a(Kind::toggleSignalMonitor)},
    {"ctrlF12Held", Qt::Key_F12, kCtrl, true, kMain, a(Kind::consume)},
    {"f12", Qt::Key_F12, {}, false, kMain, kPass},
    {"ctrlShiftF12", Qt::Key_F12, kCtrl | kShift, false, kMain, kPass},
    // Application state, then the windows in front.
    {"spaceSettings", Qt::Key_Space, {}, false, C{.isSettingsOpen = true}, kPass},
    {"numberEntry", Qt::Key_Space, {}, false, C{.isNumberEntryOpen = true}, kPass},
    {"filePanel", Qt::Key_Space, {}, false, C{.isFilePanelOpen = true}, kPass},
    {"returnLoading", Qt::Key_Return, {}, false, C{.isProjectLoading = true}, kPass},
    {"titleEditor", Qt::Key_V, {}, false, kTitleEditor, a(Kind::titleEditor)},
    {"titleEditorCtrl", Qt::Key_S, kCtrl, false, kTitleEditor, a(Kind::titleEditor)},
    {"titleEditorSheet",
     Qt::Key_Space,
     {},
     false,
     C{.sheetParentName = "dovrine.titleEditor", .hasModalWindow = true},
     a(Kind::titleEditor)},
    {"titleEditorLoading",
     Qt::Key_V,
     {},
     false,
     C{.isProjectLoading = true, .keyWindowName = "dovrine.titleEditor"},
     kPass},
    {"modal", Qt::Key_Space, {}, false, C{.hasModalWindow = true}, kPass},
    {"manual", Qt::Key_Space, {}, false, C{.keyWindowName = "velmar.manual"}, kPass},
    {"preflight", Qt::Key_1, {}, false, C{.keyWindowName = "velmar.preflight"}, kPass},
    {"sheetOnManual",
     Qt::Key_Space,
     {},
     false,
     C{.keyWindowName = "sheet", .sheetParentName = "velmar.manual"},
     a(Kind::spacePressed)},
    {"typingV", Qt::Key_V, {}, false, kTyping, kPass},
    {"typingDigit", Qt::Key_3, {}, false, kTyping, kPass},
    {"ctrlSpace", Qt::Key_Space, kCtrl, false, kMain, kPass},
    {"ctrlRight", Qt::Key_Right, kCtrl, false, kMain, kPass},
    // Held keys: the take, keyer and shuttle keys run once; the others repeat.
    {"heldV", Qt::Key_V, {}, true, kMain, a(Kind::consume)},
    {"heldSpace", Qt::Key_Space, {}, true, kMain, a(Kind::consume)},
    {"heldEnter", Qt::Key_Enter, kPad, true, kMain, a(Kind::consume)},
    {"heldRight", Qt::Key_Right, {}, true, kMain, a(Kind::selectNext)},
    {"heldTab", Qt::Key_Tab, {}, true, kMain, a(Kind::openDurationEditorCursor)},
    {"heldDigit", Qt::Key_2, {}, true, kMain, a(Kind::selectGroup, 1)},
    // The key table.
    {"v", Qt::Key_V, {}, false, kMain, a(Kind::cutToggle)},
    {"shiftV", Qt::Key_V, kShift, false, kMain, kPass},
    {"b", Qt::Key_B, {}, false, kMain, a(Kind::dskCut)},
    {"altB", Qt::Key_B, kAlt, false, kMain, kPass},
    {"n", Qt::Key_N, {}, false, kMain, a(Kind::dskNext)},
    {"m", Qt::Key_M, {}, false, kMain, a(Kind::dskFade)},
    {"k", Qt::Key_K, {}, false, kMain, a(Kind::shuttle, 0)},
    {"metaK", Qt::Key_K, kMeta, false, kMain, kPass},
    {"l", Qt::Key_L, {}, false, kMain, a(Kind::shuttle, 1)},
    {"shiftL", Qt::Key_L, kShift, false, kMain, a(Kind::slowShuttle, 1)},
    {"shiftAltL", Qt::Key_L, kShift | kAlt, false, kMain, kPass},
    {"j", Qt::Key_J, {}, false, kMain, a(Kind::shuttle, -1)},
    {"shiftJ", Qt::Key_J, kShift, false, kMain, a(Kind::slowShuttle, -1)},
    {"tab", Qt::Key_Tab, {}, false, kMain, a(Kind::openDurationEditorCursor)},
    {"shiftTab", Qt::Key_Tab, kShift, false, kMain, kPass},
    {"return", Qt::Key_Return, {}, false, kMain, a(Kind::returnPressed)},
    {"altReturn", Qt::Key_Return, kAlt, false, kMain, a(Kind::returnPressed)},
    {"keypadEnter", Qt::Key_Enter, kPad, false, kMain, a(Kind::returnPressed)},
    {"space", Qt::Key_Space, {}, false, kMain, a(Kind::spacePressed)},
    {"escape", Qt::Key_Escape, kShift, false, kMain, a(Kind::panicOff)},
    {"home", Qt::Key_Home, kPad, false, kMain, a(Kind::selectFirst)},
    {"end", Qt::Key_End, {}, false, kMain, a(Kind::jumpToLast)},
    {"left", Qt::Key_Left, kPad, false, kMain, a(Kind::selectPrevious)},
    {"shiftLeft", Qt::Key_Left, kShift, false, kMain, a(Kind::extendSelection, -1)},
    {"shiftAltLeft", Qt::Key_Left, kShift | kAlt, false, kMain, a(Kind::extendSelection, -1)},
    {"altLeft", Qt::Key_Left, kAlt, false, kMain, a(Kind::jumpToMarker, 0)},
    {"right", Qt::Key_Right, {}, false, kMain, a(Kind::selectNext)},
    {"shiftRight", Qt::Key_Right, kShift, false, kMain, a(Kind::extendSelection, 1)},
    {"altRight", Qt::Key_Right, kAlt | kMeta, false, kMain, a(Kind::jumpToMarker, 1)},
    // Digits 1 to 9 of the main row and the keypad, plain only.
    {"digit1", Qt::Key_1, {}, false, kMain, a(Kind::selectGroup, 0)},
    {"digit5", Qt::Key_5, {}, false, kMain, a(Kind::selectGroup, 4)},
    {"keypad5", Qt::Key_5, kPad, false, kMain, a(Kind::selectGroup, 4)},
    {"shift5", Qt::Key_5, kShift, false, kMain, kPass},
    {"digit0", Qt::Key_0, {}, false, kMain, kPass},
    {"minus", Qt::Key_Minus, {}, false, kMain, kPass},
    {"x", Qt::Key_X, {}, false, kMain, kPass},
};

TEST(KeyMonitorDecide, FollowsTheRulesInOrder) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const KeyAction got = KeyMonitor::decide(KeyInput{c.key, c.modifiers, c.repeat}, c.context);
        EXPECT_EQ(int(got.kind), int(c.expected.kind));
        EXPECT_EQ(got.argument, c.expected.argument);
    }
}

// Each of the digits 1 to 9, main row or keypad, chooses its own tab: n gives the n-th tab
// (index n - 1), 9 included; the keys on either side of the row choose none.
TEST(KeyMonitorDecide, DigitsOneToNineChooseTabsOneToNine) {
    for (int n = 1; n <= 9; ++n) {
        for (const Qt::KeyboardModifiers mods :
             {Qt::KeyboardModifiers(), Qt::KeyboardModifiers(kPad)}) {
            const KeyAction got = KeyMonitor::decide(KeyInput{Qt::Key_0 + n, mods, false}, kMain);
            EXPECT_EQ(int(got.kind), int(Kind::selectGroup)) << n;
            EXPECT_EQ(got.argument, n - 1) << n;
        }
    }
    for (const int key : {int(Qt::Key_0), int(Qt::Key_Colon), int(Qt::Key_Slash)})
        EXPECT_EQ(int(KeyMonitor::decide(KeyInput{key, {}, false}, kMain).kind), int(Kind::passOn))
            << key;
}

}  // namespace
}  // namespace velmar
