#pragma once

#include "models/image_ref.h"

#include <QSizeF>
#include <QString>
#include <QUrl>

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>

namespace velmar {

// Movie questions answered within bounded time: is this file a usable movie and how large is its
// picture (probe), what does its first frame look like (firstFrame, boundedFirstFrame), how
// large is its picture (videoPixelSize). Built on FFmpeg.
//
// Every function checks that the file is a regular file before opening it (a FIFO, a device or a
// folder is never opened), and every open, stream-info read and first-frame decode runs under
// FFmpeg's interrupt callback with a deadline (5 s for loading, 8 s for the frame), so work that
// overruns really stops and its thread comes back. The functions are synchronous and block for
// at most those bounds: call them off the main thread. Any thread; no shared state.
class MediaLoader {
  public:
    // The answer of probe(): ready with the display size (after the track's rotation; a size of
    // zero is not refused), or failed with a message for the operator (looked up).
    struct Probe {
        enum class Kind { ready, failed };
        Kind kind = Kind::failed;
        QSizeF size;
        QString message;

        static Probe ready(QSizeF displaySize) { return {Kind::ready, displaySize, {}}; }
        static Probe failed(QString text) { return {Kind::failed, {}, std::move(text)}; }
        bool isReady() const { return kind == Kind::ready; }
    };

    // Time limits of the steps, in seconds. Tests shorten them.
    struct Bounds {
        double loadSeconds = 5.0;   // open and stream information
        double frameSeconds = 8.0;  // decoding the first frame
    };

    static Probe probe(const QUrl& url);
    static Probe probe(const QUrl& url, const Bounds& bounds);

    // The picture at time zero, upright, fitted into maxPixel x maxPixel (never enlarged), RGBA8
    // premultiplied; nothing on failure or when a step overruns its bound.
    static ImageRef firstFrame(const QUrl& url, double maxPixel);
    static ImageRef firstFrame(const QUrl& url, double maxPixel, const Bounds& bounds);

    // firstFrame() that also gives up after `seconds` in all (0 or less: at once). The work stops
    // when it gives up, so the call returns only when nothing of it runs any more. `cancel`, when
    // given and set from another thread, stops it early too.
    static ImageRef boundedFirstFrame(const QUrl& url, double maxPixel, double seconds,
                                      const std::atomic<bool>* cancel = nullptr);
    static ImageRef boundedFirstFrame(const QUrl& url, double maxPixel, double seconds,
                                      const std::atomic<bool>* cancel, const Bounds& bounds);

    // The display size of the first video track; nothing on failure.
    static std::optional<QSizeF> videoPixelSize(const QUrl& url);
    static std::optional<QSizeF> videoPixelSize(const QUrl& url, const Bounds& bounds);

    // The name of a codec from its four-character code, as FFmpeg stores it (first character in
    // the lowest byte): the four bytes read as Mac Roman text, trimmed of white space; nothing
    // when that leaves no text.
    static std::optional<QString> codecName(uint32_t fourCC);

    // For tests: runs before every read from a movie file (to simulate a slow or stalled disk).
    // Empty in the product.
    static void setReadHookForTesting(std::function<void()> hook);
};

}  // namespace velmar
