#pragma once

#include <QString>

namespace velmar {

// Why the scheduled-playback bridge could not start: the domain "ZRDeckLink", a code from -1
// to -10 and its fixed Japanese message, which is shown as it is (never looked up).
struct ZRDeckLinkError {
    static constexpr const char* kDomain = "ZRDeckLink";

    enum Code : int {
        badParameters = -1,
        noDevice = -2,
        noOutput = -3,
        unsupportedMode = -4,
        bufferMismatch = -5,
        cannotEnableOutput = -6,
        noPixelBufferOutput = -7,
        cannotMakeFrames = -8,
        cannotStartPlayback = -9,
        cannotEnableTenBitKey = -10,
    };

    int code = 0;
    QString message;

    QString domain() const { return QString::fromLatin1(kDomain); }
    QString localizedDescription() const { return message; }

    static ZRDeckLinkError make(Code code);
    // The fixed message of a code; empty for a code outside -1 ... -10.
    static QString messageForCode(int code);
};

}  // namespace velmar
