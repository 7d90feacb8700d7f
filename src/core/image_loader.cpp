#include "core/image_loader.h"

#include "core/still_header.h"
#include "models/localized.h"
#include "platform/base/regular_file.h"

#include <OpenImageIO/imageio.h>

#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace velmar {
namespace {

// The refusals, returned as their Japanese keys: they are kept in clips and looked up where
// they are shown, in the language in force then.
const char* const kNotLocalFile = L10N_KEY("通常のローカルファイルではありません");
const char* const kFileNotFound = L10N_KEY("ファイルが見つかりません");
const char* const kFileTooLarge = L10N_KEY("画像ファイルが 256 MB を超えています");
const char* const kNoHeader = L10N_KEY("画像のヘッダを読み取れません");
const char* const kTooManyPixels =
    L10N_KEY("画像サイズが安全上限（50 MP / 一辺 16384 px）を超えています");

// The library reader for each format told by a file's signature. Only still-image readers take
// part (never the movie or camera-raw readers of the library).
const char* readerFor(StillHeader::Format format) {
    switch (format) {
        case StillHeader::Format::png:
            return "png";
        case StillHeader::Format::jpeg:
            return "jpeg";
        case StillHeader::Format::tiff:
            return "tiff";
        case StillHeader::Format::psd:
            return "psd";
        case StillHeader::Format::heif:
            return "heif";
        case StillHeader::Format::bmp:
            return "bmp";
        case StillHeader::Format::gif:
            return "gif";
        case StillHeader::Format::openexr:
            return "openexr";
        case StillHeader::Format::unknown:
            break;
    }
    return nullptr;
}

bool withinLimits(double width, double height) {
    return width <= ImageLoader::kMaxSide && height <= ImageLoader::kMaxSide &&
           width * height <= ImageLoader::kMaxPixels;
}

// Every entry point that reaches a decoder library runs through here: a library that throws on a
// hostile file gives the entry's failure answer instead of ending the process (the callers run
// on worker threads with nothing above them to catch).
template <class Work, class Result>
Result shielded(const Work& work, Result failure) noexcept {
    try {
        return work();
    } catch (...) {
        return failure;
    }
}

// An image file whose header has been read.
struct OpenedImage {
    std::unique_ptr<OIIO::ImageInput> input;
    OIIO::ImageSpec spec;
    std::string reader;
    int orientation = 1;
    QSize stored;      // as stored in the file, before orientation
    RegularFile file;  // the checked file the reader was opened on, by its /proc name
};

std::unique_ptr<OpenedImage> openImage(const std::string& path, const char* reader) {
    OIIO::ImageSpec config;
    // Straight alpha comes back as stored; premultiplication is done by our own code, the same
    // way for every format.
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto input = OIIO::ImageInput::create(reader);
    if (!input) {
        (void)OIIO::geterror();
        return nullptr;
    }
    auto opened = std::make_unique<OpenedImage>();
    if (!input->open(path, opened->spec, config)) {
        (void)input->geterror();
        return nullptr;
    }
    opened->input = std::move(input);
    opened->reader = reader;
    opened->stored = QSize(opened->spec.width, opened->spec.height);
    // libheif has already applied the file's rotation and mirroring while decoding; the
    // EXIF orientation it may also carry describes the original capture and must not be
    // applied a second time.
    if (opened->reader != "heif") {
        // Readers store it as the integer type of their format (TIFF and EXIF: 16 bits).
        const OIIO::ParamValue* p = opened->spec.find_attribute("Orientation");
        if (p != nullptr && p->nvalues() == 1 && p->type().aggregate == OIIO::TypeDesc::SCALAR &&
            !p->type().is_floating_point() && p->type().basetype != OIIO::TypeDesc::STRING &&
            p->type().basetype != OIIO::TypeDesc::PTR) {
            const int value = p->get_int(1);
            if (value >= 1 && value <= 8) opened->orientation = value;
        }
    }
    return opened;
}

QSize uprightSize(const OpenedImage& image) {
    return image.orientation > 4 ? image.stored.transposed() : image.stored;
}

struct Inspection {
    std::optional<QString> reason;
    QSize upright;
    std::unique_ptr<OpenedImage> image;  // only when opened for decoding
};

Inspection inspect(const QUrl& url, bool forDecoding) {
    Inspection out;
    if (!url.isLocalFile()) {
        out.reason = QString::fromUtf8(kNotLocalFile);
        return out;
    }
    // Opened once, without waiting, and checked by its descriptor; everything after reads that
    // descriptor's file through its /proc name. A pipe or device at the path (there at import,
    // or put in the file's place later) is refused at once: a blocking open of a pipe waits for
    // a writer for ever, and would hold the loader's thread and every still queued behind it.
    RegularFile file = RegularFile::open(QFile::encodeName(url.toLocalFile()), O_RDONLY);
    if (!file.isOpen()) {
        // Nothing at the path (a link that leads nowhere included) is named as the movie probe
        // names it; a pipe, device or folder is no local file of ours.
        const bool absent = file.error() == ENOENT || file.error() == ENOTDIR;
        out.reason = QString::fromUtf8(absent              ? kFileNotFound
                                       : file.notRegular() ? kNotLocalFile
                                                           : kNoHeader);
        return out;
    }
    struct stat st {};
    if (::fstat(file.fd(), &st) != 0) {
        out.reason = QString::fromUtf8(kNoHeader);
        return out;
    }
    const std::string native = "/proc/self/fd/" + std::to_string(file.fd());
    const QString path = QFile::decodeName(QByteArray::fromStdString(native));
    if (static_cast<qint64>(st.st_size) > ImageLoader::kMaxFileBytes) {
        out.reason = QString::fromUtf8(kFileTooLarge);
        return out;
    }
    // The signature picks the reader, whatever the file is called. Where the library would
    // allocate for the claimed size on opening, that size is checked first (a claim beyond the
    // limits is named as such even where the rest of the header is broken too).
    const StillHeader header = StillHeader::read(path);
    if (header.sized() && (!withinLimits(static_cast<double>(header.largestWidth()),
                                         static_cast<double>(header.largestHeight())) ||
                           header.largestArea() > ImageLoader::kMaxPixels ||
                           header.largestChunkBytes() > ImageLoader::kMaxChunkBytes)) {
        out.reason = QString::fromUtf8(kTooManyPixels);
        return out;
    }
    if (!header.readable()) {
        out.reason = QString::fromUtf8(kNoHeader);
        return out;
    }
    if (header.format() == StillHeader::Format::gif && !forDecoding) {
        // The GIF reader paints a canvas of the whole screen as soon as it opens; the screen's
        // size has been read here already (GIF knows no orientation).
        out.upright = QSize(static_cast<int>(header.pictureWidth()),
                            static_cast<int>(header.pictureHeight()));
        if (out.upright.isEmpty()) out.reason = QString::fromUtf8(kNoHeader);
        return out;
    }
    auto image = openImage(native, readerFor(header.format()));
    if (!image) {
        out.reason = QString::fromUtf8(kNoHeader);
        return out;
    }
    const QSize size = uprightSize(*image);
    if (size.width() <= 0 || size.height() <= 0) {
        out.reason = QString::fromUtf8(kNoHeader);
        return out;
    }
    if (!withinLimits(size.width(), size.height())) {
        out.reason = QString::fromUtf8(kTooManyPixels);
        return out;
    }
    out.upright = size;
    if (forDecoding) {
        image->file = std::move(file);  // the /proc name stays valid while the image is read
        out.image = std::move(image);
    }
    return out;
}

// Linear light (0...1) to 8-bit sRGB through a table fine enough for 8-bit output.
uint8_t linearToSrgb8(float v) {
    constexpr int kSteps = 16384;
    static const std::vector<uint8_t> table = [] {
        std::vector<uint8_t> t(kSteps + 1);
        for (int i = 0; i <= kSteps; ++i) {
            const double l = static_cast<double>(i) / kSteps;
            const double s = l <= 0.0031308 ? 12.92 * l : 1.055 * std::pow(l, 1.0 / 2.4) - 0.055;
            t[i] = static_cast<uint8_t>(std::lround(std::clamp(s, 0.0, 1.0) * 255.0));
        }
        return t;
    }();
    if (!(v > 0.0f)) return 0;  // also NaN
    if (v >= 1.0f) return 255;
    return table[static_cast<size_t>(v * kSteps + 0.5f)];
}

uint8_t unitTo8(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 1.0f) return 255;
    return static_cast<uint8_t>(v * 255.0f + 0.5f);
}

inline uint8_t premultiply8(uint8_t c, uint8_t a) {
    return static_cast<uint8_t>((c * a + 127) / 255);
}

bool iequals(const std::string& a, const char* b) {
    return QString::fromStdString(a).compare(QString::fromLatin1(b), Qt::CaseInsensitive) == 0;
}

// Decodes image 0 in full, as stored (no orientation), into RGBA8 premultiplied sRGB.
QImage decodePixels(OpenedImage& image) {
    const OIIO::ImageSpec& spec = image.spec;
    const int width = spec.width;
    const int height = spec.height;
    const int channels = spec.nchannels;
    if (width <= 0 || height <= 0 || channels <= 0) return {};
    // Some readers name a channel that does not exist (GIF: 4 of 0...3); then the last channel of
    // a grey-alpha or RGBA picture is its alpha.
    int alpha = spec.alpha_channel < channels ? spec.alpha_channel : -1;
    if (alpha < 0 && (channels == 2 || channels == 4)) alpha = channels - 1;
    const bool gray = channels < 3;
    const bool straightAlpha = spec.get_int_attribute("oiio:UnassociatedAlpha", 0) != 0;
    const auto base = spec.format.basetype;
    const bool floating = base == OIIO::TypeDesc::HALF || base == OIIO::TypeDesc::FLOAT ||
                          base == OIIO::TypeDesc::DOUBLE;
    const std::string colorSpace = spec.get_string_attribute("oiio:ColorSpace");
    // Floating-point pictures are scene-linear unless they say otherwise; integer ones are sRGB
    // unless they say they are linear.
    const bool linear = floating ? !iequals(colorSpace, "sRGB") : iequals(colorSpace, "Linear");
    const bool eightBit = !floating && !linear && (base == OIIO::TypeDesc::UINT8);

    QImage out(width, height, QImage::Format_RGBA8888_Premultiplied);
    if (out.isNull()) return {};

    const bool tiled = spec.tile_width > 0;
    // Strips tall enough for the decoder to work on several compressed blocks at once.
    const int stripRows = tiled ? height : 256;
    const size_t sampleBytes = eightBit ? 1 : sizeof(float);
    const size_t rowSamples = static_cast<size_t>(width) * channels;
    std::vector<unsigned char> strip(rowSamples * sampleBytes * static_cast<size_t>(stripRows));
    const OIIO::TypeDesc readType = eightBit ? OIIO::TypeDesc::UINT8 : OIIO::TypeDesc::FLOAT;

    for (int y0 = 0; y0 < height; y0 += stripRows) {
        const int rows = std::min(stripRows, height - y0);
        const bool ok =
            tiled ? image.input->read_image(0, 0, 0, channels, readType, strip.data())
                  : image.input->read_scanlines(0, 0, spec.y + y0, spec.y + y0 + rows, spec.z, 0,
                                                channels, readType, strip.data());
        if (!ok) {
            (void)image.input->geterror();
            return {};
        }
        for (int r = 0; r < rows; ++r) {
            uint8_t* dst = out.scanLine(y0 + r);
            if (eightBit) {
                const uint8_t* src = strip.data() + rowSamples * r;
                for (int x = 0; x < width; ++x, src += channels, dst += 4) {
                    const uint8_t cr = src[0];
                    const uint8_t cg = gray ? src[0] : src[1];
                    const uint8_t cb = gray ? src[0] : src[2];
                    const uint8_t a = alpha >= 0 ? src[alpha] : 255;
                    if (straightAlpha) {
                        dst[0] = premultiply8(cr, a);
                        dst[1] = premultiply8(cg, a);
                        dst[2] = premultiply8(cb, a);
                    } else {  // already premultiplied: keep colour within alpha
                        dst[0] = std::min(cr, a);
                        dst[1] = std::min(cg, a);
                        dst[2] = std::min(cb, a);
                    }
                    dst[3] = a;
                }
            } else {
                const float* src = reinterpret_cast<const float*>(strip.data()) + rowSamples * r;
                for (int x = 0; x < width; ++x, src += channels, dst += 4) {
                    float c[3] = {src[0], gray ? src[0] : src[1], gray ? src[0] : src[2]};
                    const float a = alpha >= 0 ? std::clamp(src[alpha], 0.0f, 1.0f) : 1.0f;
                    if (!straightAlpha && alpha >= 0) {  // back to straight colour first
                        for (float& v : c) v = a > 0.0f ? v / a : 0.0f;
                    }
                    const uint8_t a8 = unitTo8(a);
                    for (int i = 0; i < 3; ++i) {
                        const uint8_t v = linear ? linearToSrgb8(c[i]) : unitTo8(c[i]);
                        dst[i] = premultiply8(v, a8);
                    }
                    dst[3] = a8;
                }
            }
        }
        if (tiled) break;
    }
    return out;
}

ImageRef share(QImage image) {
    if (image.isNull()) return nullptr;
    if (image.format() != QImage::Format_RGBA8888_Premultiplied) {
        image = image.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
        if (image.isNull()) return nullptr;
    }
    return std::make_shared<const QImage>(std::move(image));
}

// Decodes, scales the stored picture to targetStored (when smaller), then turns it upright.
ImageRef decode(OpenedImage& image, std::optional<QSize> targetStored) {
    QImage pixels = decodePixels(image);
    if (pixels.isNull()) return nullptr;
    if (targetStored &&
        (targetStored->width() < pixels.width() || targetStored->height() < pixels.height())) {
        QImage scaled =
            pixels.scaled(*targetStored, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        if (!scaled.isNull()) pixels = std::move(scaled);
    }
    return ImageLoader::applyOrientation(share(std::move(pixels)), image.orientation);
}

int roundHalfAway(double v) {
    return static_cast<int>(std::lround(v));
}

// The stored size whose longest side is at most longest, keeping the proportions.
QSize fitLongest(QSize stored, int longest) {
    const int side = std::max(stored.width(), stored.height());
    if (side <= longest) return stored;
    const double s = static_cast<double>(std::max(1, longest)) / side;
    return QSize(std::max(1, roundHalfAway(stored.width() * s)),
                 std::max(1, roundHalfAway(stored.height() * s)));
}

// Fits the picture to the canvas without enlarging it.
ImageRef fitted(const QUrl& url, const CanvasFormat& canvas) {
    Inspection i = inspect(url, true);
    if (!i.image) return nullptr;
    const QSize upright = uprightSize(*i.image);
    const double s = std::min(static_cast<double>(canvas.width) / upright.width(),
                              static_cast<double>(canvas.height) / upright.height());
    if (s >= 1.0) return decode(*i.image, std::nullopt);  // never enlarged
    const QSize stored = i.image->stored;
    if (ImageLoader::redrawFormats().count(QFileInfo(url.toLocalFile()).suffix().toLower()) != 0) {
        // Each side scaled on its own.
        const QSize target(std::max(1, roundHalfAway(s * stored.width())),
                           std::max(1, roundHalfAway(s * stored.height())));
        return decode(*i.image, target);
    }
    // The longest side scaled, the other in proportion.
    const int longest = std::max(1, roundHalfAway(s * std::max(upright.width(), upright.height())));
    return decode(*i.image, fitLongest(stored, longest));
}

}  // namespace

const std::set<QString>& ImageLoader::redrawFormats() {
    static const std::set<QString> formats{"psd", "tif", "tiff", "exr"};
    return formats;
}

std::optional<QString> ImageLoader::rejectionReason(const QUrl& url) {
    return shielded([&] { return inspect(url, false).reason; },
                    std::optional<QString>(QString::fromUtf8(kNoHeader)));
}

std::optional<QSize> ImageLoader::pixelSize(const QUrl& url) {
    return shielded(
        [&]() -> std::optional<QSize> {
            Inspection i = inspect(url, false);
            if (i.reason) return std::nullopt;
            return i.upright;
        },
        std::optional<QSize>());
}

ImageRef ImageLoader::loadFull(const QUrl& url) {
    return shielded(
        [&]() -> ImageRef {
            Inspection i = inspect(url, true);
            if (!i.image) return nullptr;
            return decode(*i.image, std::nullopt);
        },
        ImageRef());
}

ImageRef ImageLoader::loadFitted(const QUrl& url, const CanvasFormat& canvas) {
    return shielded([&] { return fitted(url, canvas); }, ImageRef());
}

ImageRef ImageLoader::loadThumbnail(const QUrl& url, int maxPixel) {
    return shielded(
        [&]() -> ImageRef {
            Inspection i = inspect(url, true);
            if (!i.image) return nullptr;
            return decode(*i.image, fitLongest(i.image->stored, std::max(1, maxPixel)));
        },
        ImageRef());
}

ImageRef ImageLoader::applyOrientation(const ImageRef& image, int orientation) {
    if (!image || orientation < 2 || orientation > 8) return image;
    const int w = image->width();
    const int h = image->height();
    if (w < 1 || h < 1) return image;
    const bool turned = orientation > 4;
    QImage out(turned ? h : w, turned ? w : h, QImage::Format_RGBA8888_Premultiplied);
    if (out.isNull()) return image;
    QImage src = image->format() == QImage::Format_RGBA8888_Premultiplied
                     ? *image
                     : image->convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    const int outStride = static_cast<int>(out.bytesPerLine() / 4);
    auto* dst = reinterpret_cast<uint32_t*>(out.bits());
    for (int y = 0; y < h; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(src.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            int ox = x;
            int oy = y;
            switch (orientation) {
                case 2:
                    ox = w - 1 - x;
                    break;  // mirrored
                case 3:
                    ox = w - 1 - x;
                    oy = h - 1 - y;
                    break;  // turned half way
                case 4:
                    oy = h - 1 - y;
                    break;  // mirrored upside down
                case 5:
                    ox = y;
                    oy = x;
                    break;  // transposed
                case 6:
                    ox = h - 1 - y;
                    oy = x;
                    break;  // turned a quarter clockwise
                case 7:
                    ox = h - 1 - y;
                    oy = w - 1 - x;
                    break;  // transversed
                case 8:
                    ox = y;
                    oy = w - 1 - x;
                    break;  // turned a quarter back
                default:
                    break;
            }
            dst[static_cast<size_t>(oy) * outStride + ox] = row[x];
        }
    }
    return std::make_shared<const QImage>(std::move(out));
}

ImageRef ImageLoader::redraw(const ImageRef& image, int width, int height) {
    if (!image || width < 1 || height < 1) return nullptr;
    return share(image->scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
}

}  // namespace velmar
