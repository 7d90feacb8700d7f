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

KeyContext main() {
    return KeyContext{.keyWindowName = QStringLiteral("main")};
}
KeyContext with(void (*change)(KeyContext&)) {
    KeyContext c = main();
    change(c);
    return c;
}
const KeyContext kSettings = with([](KeyContext& c) { c.isSettingsOpen = true; });
const KeyContext kNumberEntry = with([](KeyContext& c) { c.isNumberEntryOpen = true; });
const KeyContext kFilePanel = with([](KeyContext& c) { c.isFilePanelOpen = true; });
const KeyContext kLoading = with([](KeyContext& c) { c.isProjectLoading = true; });
const KeyContext kModal = with([](KeyContext& c) { c.hasModalWindow = true; });
const KeyContext kTyping = with([](KeyContext& c) { c.textInputFocused = true; });
const KeyContext kManual = with([](KeyContext& c) { c.keyWindowName = "velmar.manual"; });
const KeyContext kPreflight = with([](KeyContext& c) { c.keyWindowName = "velmar.preflight"; });
const KeyContext kSheetOnManual = with([](KeyContext& c) {
    c.keyWindowName = "sheet";
    c.sheetParentName = "velmar.manual";
});
const KeyContext kTitleEditor = with([](KeyContext& c) {
    c.keyWindowName = "dovrine.titleEditor";
    c.textInputFocused = true;
});
const KeyContext kSheetOnTitleEditor = with([](KeyContext& c) {
    c.keyWindowName = "sheet";
    c.sheetParentName = "dovrine.titleEditor";
    c.hasModalWindow = true;
});

KeyAction a(Kind kind, int argument = 0) {
    return KeyAction{kind, argument};
}
const KeyAction kPass = a(Kind::passOn);

// The whole rule set, in the order the rules are applied.
const Case kCases[] = {
    // The signal monitor key first of all, once per hold, with Ctrl alone among the shortcut keys.
    {"ctrlF12", Qt::Key_F12, kCtrl, false, main(), a(Kind::toggleSignalMonitor)},
    {"ctrlF12Settings", Qt::Key_F12, kCtrl, false, kSettings, a(Kind::toggleSignalMonitor)},
    {"ctrlF12Loading", Qt::Key_F12, kCtrl, false, kLoading, a(Kind::toggleSignalMonitor)},
    {"ctrlF12Typing", Qt::Key_F12, kCtrl, false, kTyping, a(Kind::toggleSignalMonitor)},
    {"ctrlF12Modal", Qt::Key_F12, kCtrl, false, kModal, a(Kind::toggleSignalMonitor)},
    {"ctrlF12Keypad", Qt::Key_F12, kCtrl | kPad, false, main(), a(Kind::toggleSignalMonitor)},
    {"ctrlF12Held", Qt::Key_F12, kCtrl, true, main(), a(Kind::consume)},
    {"f12", Qt::Key_F12, {}, false, main(), kPass},
    {"ctrlShiftF12", Qt::Key_F12, kCtrl | kShift, false, main(), kPass},
    // Application state, then the windows in front.
    {"spaceSettings", Qt::Key_Space, {}, false, kSettings, kPass},
    {"spaceNumberEntry", Qt::Key_Space, {}, false, kNumberEntry, kPass},
    {"spaceFilePanel", Qt::Key_Space, {}, false, kFilePanel, kPass},
    {"returnLoading", Qt::Key_Return, {}, false, kLoading, kPass},
    {"escapeLoading", Qt::Key_Escape, {}, false, kLoading, kPass},
    {"titleEditor", Qt::Key_V, {}, false, kTitleEditor, a(Kind::titleEditor)},
    {"titleEditorCtrl", Qt::Key_S, kCtrl, false, kTitleEditor, a(Kind::titleEditor)},
    {"titleEditorSheet", Qt::Key_Space, {}, false, kSheetOnTitleEditor, a(Kind::titleEditor)},
    {"titleEditorLoading",
     Qt::Key_V,
     {},
     false,
     with([](KeyContext& c) {
         c.keyWindowName = "dovrine.titleEditor";
         c.isProjectLoading = true;
     }),
     kPass},
    {"modal", Qt::Key_Space, {}, false, kModal, kPass},
    {"manual", Qt::Key_Space, {}, false, kManual, kPass},
    {"preflight", Qt::Key_1, {}, false, kPreflight, kPass},
    {"sheetOnManual", Qt::Key_Space, {}, false, kSheetOnManual, a(Kind::spacePressed)},
    {"typingV", Qt::Key_V, {}, false, kTyping, kPass},
    {"typingDigit", Qt::Key_3, {}, false, kTyping, kPass},
    {"ctrlSpace", Qt::Key_Space, kCtrl, false, main(), kPass},
    {"ctrlRight", Qt::Key_Right, kCtrl, false, main(), kPass},
    // Held keys: the take, keyer and shuttle keys run once; the others repeat.
    {"heldV", Qt::Key_V, {}, true, main(), a(Kind::consume)},
    {"heldShiftV", Qt::Key_V, kShift, true, main(), a(Kind::consume)},
    {"heldSpace", Qt::Key_Space, {}, true, main(), a(Kind::consume)},
    {"heldEnter", Qt::Key_Enter, kPad, true, main(), a(Kind::consume)},
    {"heldM", Qt::Key_M, {}, true, main(), a(Kind::consume)},
    {"heldRight", Qt::Key_Right, {}, true, main(), a(Kind::selectNext)},
    {"heldEscape", Qt::Key_Escape, {}, true, main(), a(Kind::panicOff)},
    {"heldTab", Qt::Key_Tab, {}, true, main(), a(Kind::openDurationEditorCursor)},
    {"heldDigit", Qt::Key_2, {}, true, main(), a(Kind::selectGroup, 1)},
    // The key table.
    {"v", Qt::Key_V, {}, false, main(), a(Kind::cutToggle)},
    {"shiftV", Qt::Key_V, kShift, false, main(), kPass},
    {"b", Qt::Key_B, {}, false, main(), a(Kind::dskCut)},
    {"altB", Qt::Key_B, kAlt, false, main(), kPass},
    {"n", Qt::Key_N, {}, false, main(), a(Kind::dskNext)},
    {"m", Qt::Key_M, {}, false, main(), a(Kind::dskFade)},
    {"k", Qt::Key_K, {}, false, main(), a(Kind::shuttle, 0)},
    {"metaK", Qt::Key_K, kMeta, false, main(), kPass},
    {"l", Qt::Key_L, {}, false, main(), a(Kind::shuttle, 1)},
    {"shiftL", Qt::Key_L, kShift, false, main(), a(Kind::slowShuttle, 1)},
    {"shiftAltL", Qt::Key_L, kShift | kAlt, false, main(), kPass},
    {"j", Qt::Key_J, {}, false, main(), a(Kind::shuttle, -1)},
    {"shiftJ", Qt::Key_J, kShift, false, main(), a(Kind::slowShuttle, -1)},
    {"metaJ", Qt::Key_J, kMeta, false, main(), kPass},
    {"tab", Qt::Key_Tab, {}, false, main(), a(Kind::openDurationEditorCursor)},
    {"shiftTab", Qt::Key_Tab, kShift, false, main(), kPass},
    {"backtab", Qt::Key_Backtab, kShift, false, main(), kPass},
    {"return", Qt::Key_Return, {}, false, main(), a(Kind::returnPressed)},
    {"altReturn", Qt::Key_Return, kAlt, false, main(), a(Kind::returnPressed)},
    {"keypadEnter", Qt::Key_Enter, kPad, false, main(), a(Kind::returnPressed)},
    {"space", Qt::Key_Space, {}, false, main(), a(Kind::spacePressed)},
    {"metaSpace", Qt::Key_Space, kMeta, false, main(), a(Kind::spacePressed)},
    {"escape", Qt::Key_Escape, kShift, false, main(), a(Kind::panicOff)},
    {"home", Qt::Key_Home, kPad, false, main(), a(Kind::selectFirst)},
    {"end", Qt::Key_End, {}, false, main(), a(Kind::jumpToLast)},
    {"left", Qt::Key_Left, kPad, false, main(), a(Kind::selectPrevious)},
    {"metaLeft", Qt::Key_Left, kMeta, false, main(), a(Kind::selectPrevious)},
    {"shiftLeft", Qt::Key_Left, kShift, false, main(), a(Kind::extendSelection, -1)},
    {"shiftAltLeft", Qt::Key_Left, kShift | kAlt, false, main(), a(Kind::extendSelection, -1)},
    {"altLeft", Qt::Key_Left, kAlt, false, main(), a(Kind::jumpToMarker, 0)},
    {"right", Qt::Key_Right, {}, false, main(), a(Kind::selectNext)},
    {"shiftRight", Qt::Key_Right, kShift, false, main(), a(Kind::extendSelection, 1)},
    {"altRight", Qt::Key_Right, kAlt | kMeta, false, main(), a(Kind::jumpToMarker, 1)},
    // Digits 1 to 9 of the main row and the keypad, plain only.
    {"digit1", Qt::Key_1, {}, false, main(), a(Kind::selectGroup, 0)},
    {"digit5", Qt::Key_5, {}, false, main(), a(Kind::selectGroup, 4)},
    {"keypad5", Qt::Key_5, kPad, false, main(), a(Kind::selectGroup, 4)},
    {"keypad9", Qt::Key_9, kPad, false, main(), a(Kind::selectGroup, 8)},
    {"shift5", Qt::Key_5, kShift, false, main(), kPass},
    {"percent", Qt::Key_Percent, kShift, false, main(), kPass},
    {"altDigit", Qt::Key_7, kAlt, false, main(), kPass},
    {"digit0", Qt::Key_0, {}, false, main(), kPass},
    {"keypad0", Qt::Key_0, kPad, false, main(), kPass},
    {"minus", Qt::Key_Minus, {}, false, main(), kPass},
    {"equal", Qt::Key_Equal, {}, false, main(), kPass},
    {"x", Qt::Key_X, {}, false, main(), kPass},
    {"noWindow", Qt::Key_Space, {}, false, KeyContext{}, a(Kind::spacePressed)},
};

TEST(KeyMonitorDecide, FollowsTheRulesInOrder) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const KeyAction got = KeyMonitor::decide(KeyInput{c.key, c.modifiers, c.repeat}, c.context);
        EXPECT_EQ(int(got.kind), int(c.expected.kind));
        EXPECT_EQ(got.argument, c.expected.argument);
    }
}

}  // namespace
}  // namespace velmar
