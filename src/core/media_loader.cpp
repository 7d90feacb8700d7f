#include "core/media_loader.h"

#include "core/image_loader.h"
#include "models/localized.h"
#include "platform/player/movie_source.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <QFile>
#include <QImage>

#include <sys/stat.h>
#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>

namespace velmar {
namespace {

// What the path of a local file names: nothing, a regular file, or something else (a FIFO, a
// device, a folder). Links are followed.
enum class PathKind { nothing, regularFile, other };

PathKind pathKind(const QUrl& url) {
    if (!url.isLocalFile()) return PathKind::nothing;
    struct stat st {};
    if (::stat(QFile::encodeName(url.toLocalFile()).constData(), &st) != 0)
        return PathKind::nothing;
    return S_ISREG(st.st_mode) ? PathKind::regularFile : PathKind::other;
}

bool isRegularFile(const QUrl& url) {
    return pathKind(url) == PathKind::regularFile;
}

std::string nativePath(const QUrl& url) {
    return QFile::encodeName(url.toLocalFile()).toStdString();
}

// The turn of a track as an EXIF orientation (1, 3, 6 or 8), from its display matrix.
int trackOrientation(const AVStream* stream) {
    const auto* matrix = reinterpret_cast<const int32_t*>(
        av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (matrix == nullptr) return 1;
    const double counterClockwise = av_display_rotation_get(matrix);
    if (std::isnan(counterClockwise)) return 1;
    long clockwise = std::lround(-counterClockwise / 90.0) * 90 % 360;
    if (clockwise < 0) clockwise += 360;
    switch (clockwise) {
        case 90:
            return 6;
        case 180:
            return 3;
        case 270:
            return 8;
        default:
            return 1;
    }
}

// The natural size turned by the track's display matrix: the extent of the transformed
// rectangle at the origin.
QSizeF displaySize(const AVStream* stream) {
    const double w = std::max(0, stream->codecpar->width);
    const double h = std::max(0, stream->codecpar->height);
    const auto* m = reinterpret_cast<const int32_t*>(
        av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, nullptr));
    if (m == nullptr) return QSizeF(w, h);
    const double a = m[0] / 65536.0;
    const double b = m[1] / 65536.0;
    const double c = m[3] / 65536.0;
    const double d = m[4] / 65536.0;
    return QSizeF(std::abs(a * w) + std::abs(c * h), std::abs(b * w) + std::abs(d * h));
}

std::optional<QString> trackCodecName(const AVStream* stream) {
    uint32_t tag = stream->codecpar->codec_tag;
    if (tag == 0 && stream->codecpar->codec_id != AV_CODEC_ID_NONE) {
        // Containers that store no four-character code (MXF): the QuickTime code of the codec.
        const AVCodecTag* const tables[] = {avformat_get_mov_video_tags(), nullptr};
        tag = av_codec_get_tag(tables, stream->codecpar->codec_id);
    }
    return MediaLoader::codecName(tag);
}

// Converts a decoded frame to RGBA8 premultiplied, fitted into maxPixel x maxPixel.
ImageRef frameToImage(const AVFrame* frame, double maxPixel) {
    const int w = frame->width;
    const int h = frame->height;
    if (w <= 0 || h <= 0) return nullptr;
    const double limit = std::max(1.0, maxPixel);
    const double s = std::min(1.0, limit / std::max(w, h));
    const int tw = std::max(1, static_cast<int>(std::lround(w * s)));
    const int th = std::max(1, static_cast<int>(std::lround(h * s)));
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    if (desc == nullptr) return nullptr;

    // Converted to BGRA exactly as the player converts its frames, so that the poster and the
    // first frame played are the same picture; then put in RGBA order and premultiplied here.
    SwsContext* sws = MovieSource::makeConverter(frame, tw, th, AV_PIX_FMT_BGRA, 1);
    if (sws == nullptr) return nullptr;
    QImage image(tw, th, QImage::Format_RGBA8888_Premultiplied);
    if (image.isNull()) {
        sws_freeContext(sws);
        return nullptr;
    }
    uint8_t* dst[4] = {image.bits(), nullptr, nullptr, nullptr};
    int dstStride[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    const int rows = sws_scale(sws, frame->data, frame->linesize, 0, h, dst, dstStride);
    sws_freeContext(sws);
    if (rows <= 0) return nullptr;
    const bool alpha = (desc->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
    for (int y = 0; y < th; ++y) {
        uint8_t* p = image.scanLine(y);
        for (int x = 0; x < tw; ++x, p += 4) {
            std::swap(p[0], p[2]);
            if (!alpha) continue;
            const unsigned a = p[3];
            for (int i = 0; i < 3; ++i) p[i] = static_cast<uint8_t>((p[i] * a + 127) / 255);
        }
    }
    return std::make_shared<const QImage>(std::move(image));
}

// Decodes the first picture of the stream (the first one at or after time zero; the last one
// before it when nothing comes after).
ImageRef decodeFirstFrame(MovieSource& file, int index, double maxPixel) {
    AVFormatContext* fmt = file.format();
    const AVStream* stream = fmt->streams[index];
    for (unsigned i = 0; i < fmt->nb_streams; ++i) {
        fmt->streams[i]->discard = static_cast<int>(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    struct Owned {
        AVCodecContext* codec = nullptr;
        AVPacket* packet = nullptr;
        AVFrame* frame = nullptr;
        AVFrame* fallback = nullptr;
        ~Owned() {
            avcodec_free_context(&codec);
            av_packet_free(&packet);
            av_frame_free(&frame);
            av_frame_free(&fallback);
        }
    } o;
    o.codec = MovieSource::openDecoder(stream, 1);
    o.packet = av_packet_alloc();
    o.frame = av_frame_alloc();
    o.fallback = av_frame_alloc();
    if (o.codec == nullptr || o.packet == nullptr || o.frame == nullptr || o.fallback == nullptr) {
        return nullptr;
    }

    bool haveFallback = false;
    auto take = [&]() -> ImageRef {
        return ImageLoader::applyOrientation(frameToImage(o.frame, maxPixel),
                                             trackOrientation(stream));
    };
    // Returns 1 with a frame to keep, 0 to go on, -1 at the end.
    auto drain = [&]() -> int {
        while (true) {
            const int r = avcodec_receive_frame(o.codec, o.frame);
            if (r == AVERROR(EAGAIN)) return 0;
            if (r < 0) return -1;
            const int64_t pts = o.frame->best_effort_timestamp;
            if (pts == AV_NOPTS_VALUE || pts >= 0) return 1;
            av_frame_unref(o.fallback);
            av_frame_move_ref(o.fallback, o.frame);
            haveFallback = true;
        }
    };
    bool flushing = false;
    while (!file.interrupted()) {
        if (!flushing) {
            const int r = av_read_frame(fmt, o.packet);
            if (r < 0) {
                if (file.interrupted()) return nullptr;
                flushing = true;
                avcodec_send_packet(o.codec, nullptr);
            } else {
                if (o.packet->stream_index == index) avcodec_send_packet(o.codec, o.packet);
                av_packet_unref(o.packet);
            }
        }
        const int state = drain();
        if (state == 1) return take();
        if (state < 0 || flushing) break;
    }
    if (haveFallback && !file.interrupted()) {
        av_frame_unref(o.frame);
        av_frame_move_ref(o.frame, o.fallback);
        return take();
    }
    return nullptr;
}

// The Mac Roman characters of the bytes 0x80...0xFF.
constexpr std::array<char16_t, 128> kMacRomanHigh = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1, 0x00E0, 0x00E2, 0x00E4, 0x00E3,
    0x00E5, 0x00E7, 0x00E9, 0x00E8, 0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC, 0x2020, 0x00B0, 0x00A2, 0x00A3,
    0x00A7, 0x2022, 0x00B6, 0x00DF, 0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0x2260, 0x00C6, 0x00D8,
    0x221E, 0x00B1, 0x2264, 0x2265, 0x00A5, 0x00B5, 0x2202, 0x2211, 0x220F, 0x03C0, 0x222B, 0x00AA,
    0x00BA, 0x03A9, 0x00E6, 0x00F8, 0x00BF, 0x00A1, 0x00AC, 0x221A, 0x0192, 0x2248, 0x2206, 0x00AB,
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153, 0x2013, 0x2014, 0x201C, 0x201D,
    0x2018, 0x2019, 0x00F7, 0x25CA, 0x00FF, 0x0178, 0x2044, 0x20AC, 0x2039, 0x203A, 0xFB01, 0xFB02,
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1, 0x00CB, 0x00C8, 0x00CD, 0x00CE,
    0x00CF, 0x00CC, 0x00D3, 0x00D4, 0xF8FF, 0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7};

QString decodeFailure(const std::optional<QString>& codec) {
    if (codec) return localizedFormat("デコードできません: %@", {*codec});
    return localized("デコードできません");
}

}  // namespace

std::optional<QString> MediaLoader::codecName(uint32_t fourCC) {
    QString text;
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<uint8_t>((fourCC >> (8 * i)) & 0xff);
        text.append(byte < 0x80 ? QChar(byte) : QChar(kMacRomanHigh[byte - 0x80]));
    }
    // White space, line ends and other control characters (a code of zeros) at either end.
    auto blank = [](QChar c) { return c.isSpace() || c.unicode() < 0x20; };
    while (!text.isEmpty() && blank(text.back())) text.chop(1);
    while (!text.isEmpty() && blank(text.front())) text.remove(0, 1);
    if (text.isEmpty()) return std::nullopt;
    return text;
}

void MediaLoader::setReadHookForTesting(std::function<void()> hook) {
    MovieSource::setReadHookForTesting(std::move(hook));
}

MediaLoader::Probe MediaLoader::probe(const QUrl& url) {
    return probe(url, Bounds());
}

ImageRef MediaLoader::firstFrame(const QUrl& url, double maxPixel) {
    return firstFrame(url, maxPixel, Bounds());
}

ImageRef MediaLoader::boundedFirstFrame(const QUrl& url, double maxPixel, double seconds,
                                        const std::atomic<bool>* cancel) {
    return boundedFirstFrame(url, maxPixel, seconds, cancel, Bounds());
}

std::optional<QSizeF> MediaLoader::videoPixelSize(const QUrl& url) {
    return videoPixelSize(url, Bounds());
}

MediaLoader::Probe MediaLoader::probe(const QUrl& url, const Bounds& bounds) {
    const auto notPlayable = [] { return Probe::failed(localized("この形式は再生できません")); };
    // "Not found" only where nothing is at the path; a FIFO, a device or a folder put there is
    // named as such, in the words the still loader uses. A regular file that does not open (no
    // permission) cannot be played like any other unreadable one.
    const auto notRegular = [&notPlayable](PathKind kind) {
        switch (kind) {
            case PathKind::nothing:
                return Probe::failed(localized("ファイルが見つかりません"));
            case PathKind::other:
                return Probe::failed(localized("通常のローカルファイルではありません"));
            case PathKind::regularFile:
                break;
        }
        return notPlayable();
    };
    if (const PathKind kind = pathKind(url); kind != PathKind::regularFile) return notRegular(kind);

    MovieSource file;
    switch (file.open(nativePath(url), bounds.loadSeconds)) {
        case MovieSource::Status::ok:
            break;
        case MovieSource::Status::notRegularFile:
            return notRegular(pathKind(url));
        case MovieSource::Status::timedOut:
            return Probe::failed(localized("読み込みに時間がかかりすぎます"));
        case MovieSource::Status::unreadable:
            return notPlayable();
    }
    // Single pictures and picture sequences open, but they are no movies.
    if (!file.isMovie() || !file.hasAudioOrVideo()) return notPlayable();

    const int index = file.videoStream();
    if (index < 0) return Probe::failed(localized("映像トラックがありません"));
    const AVStream* stream = file.format()->streams[index];
    const std::optional<QString> codec = trackCodecName(stream);

    if (avcodec_find_decoder(stream->codecpar->codec_id) == nullptr) {
        if (codec) return Probe::failed(localizedFormat("対応していないコーデック: %@", {*codec}));
        return notPlayable();
    }
    const QSizeF size = displaySize(stream);

    file.arm(bounds.frameSeconds);
    if (!decodeFirstFrame(file, index, 320)) return Probe::failed(decodeFailure(codec));
    return Probe::ready(size);
}

ImageRef MediaLoader::firstFrame(const QUrl& url, double maxPixel, const Bounds& bounds) {
    return boundedFirstFrame(url, maxPixel, 1.0e6, nullptr, bounds);
}

ImageRef MediaLoader::boundedFirstFrame(const QUrl& url, double maxPixel, double seconds,
                                        const std::atomic<bool>* cancel, const Bounds& bounds) {
    if (!isRegularFile(url)) return nullptr;
    MovieSource file(cancel, seconds);
    if (file.open(nativePath(url), bounds.loadSeconds) != MovieSource::Status::ok) return nullptr;
    const int index = file.videoStream();
    if (index < 0) return nullptr;
    file.arm(bounds.frameSeconds);
    return decodeFirstFrame(file, index, maxPixel);
}

std::optional<QSizeF> MediaLoader::videoPixelSize(const QUrl& url, const Bounds& bounds) {
    if (!isRegularFile(url)) return std::nullopt;
    MovieSource file;
    if (file.open(nativePath(url), bounds.loadSeconds) != MovieSource::Status::ok) {
        return std::nullopt;
    }
    const int index = file.videoStream();
    if (index < 0) return std::nullopt;
    return displaySize(file.format()->streams[index]);
}

}  // namespace velmar
