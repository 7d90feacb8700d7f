#pragma once

#include "models/canvas_format.h"
#include "models/image_ref.h"

#include <QSize>
#include <QString>
#include <QUrl>

#include <optional>
#include <set>

namespace velmar {

// Still image decoding from local files behind one safety check. Every decode first runs
// rejectionReason(); a file that fails it never reaches a decoder. The decoder is chosen by the
// file's signature, not its name, and the sizes a header claims are checked by our own header
// reader (StillHeader) before a decoder library that would allocate for them opens the file.
// A decoder library that throws gives the failure answer (nothing, or "no header").
//
// Decoded images are RGBA8 premultiplied sRGB (ImageRef), turned upright by the orientation stored
// in the file, linear (floating-point) pictures converted to sRGB. Downscaling averages every
// source pixel (Qt's smooth area filter); images are never enlarged.
//
// Stateless: every function is synchronous and may be called from any thread. Decoding a large
// file takes time and memory (at most 50 MP in one full decode): call it off the main thread.
class ImageLoader {
  public:
    static constexpr qint64 kMaxFileBytes = 268'435'456;  // 256 MiB, inclusive
    static constexpr int kMaxSide = 16384;                // pixels, inclusive
    static constexpr double kMaxPixels = 50'000'000.0;    // width x height, inclusive
    // The largest block of pixel data a decoder may buffer at once (an OpenEXR tile or run of
    // scanlines over all its channels): a full-width row of four 32-bit channels in the tallest
    // block any compression uses.
    static constexpr double kMaxChunkBytes = 16384.0 * 256 * 16;

    // Extensions whose scaled pictures are made by decoding in full and redrawing.
    static const std::set<QString>& redrawFormats();

    // Nothing when the file may be decoded, else why not: one of five Japanese message keys,
    // not looked up (whoever shows it looks it up with localized()); nothing at the path and a
    // pipe, device or folder there are named as the movie probe names them. Reads the header
    // only, never the pixels.
    static std::optional<QString> rejectionReason(const QUrl& url);

    // The upright pixel size of a file that passes rejectionReason(); nothing otherwise.
    static std::optional<QSize> pixelSize(const QUrl& url);

    // The whole picture, upright.
    static ImageRef loadFull(const QUrl& url);
    // The picture upright, scaled down to fit the canvas (only its size counts); never enlarged.
    static ImageRef loadFitted(const QUrl& url, const CanvasFormat& canvas);
    // The picture upright, its longest side at most maxPixel; never enlarged.
    static ImageRef loadThumbnail(const QUrl& url, int maxPixel);

    // EXIF orientation 1...8; any other value counts as 1. Returns the image turned upright (the
    // same image for orientation 1 or an unknown value).
    static ImageRef applyOrientation(const ImageRef& image, int orientation);
    // The image resampled to width x height; nothing when a side is below 1.
    static ImageRef redraw(const ImageRef& image, int width, int height);
};

}  // namespace velmar
