#pragma once

namespace velmar {

// The answer of a call into the virtual SDI card, shaped like a driver's status code.
enum class SdiResult {
    ok,
    invalidArgument,  // a size, row size, format, time or pointer the card does not accept
    notEnabled,       // video or audio output was not enabled first
    busy,             // the device is in use (enable refused) or playback is in the wrong state
    refused,          // the card declined the request (injected fault, queue full)
    unsupported,      // the device or mode cannot do this
};

// How a scheduled frame left the card, reported on the completion thread.
enum class SdiCompletionResult {
    completed,      // shown at its display time
    displayedLate,  // shown, but after its display time
    dropped,        // never shown: a later frame was due first
    flushed,        // never shown: playback stopped first
};

const char* toString(SdiResult result);
const char* toString(SdiCompletionResult result);

}  // namespace velmar
