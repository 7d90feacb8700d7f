#include "support/test_media.h"

#include <OpenImageIO/imageio.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

namespace velmar::test {
namespace {

std::mutex& mediaMutex() {
    static std::mutex m;
    return m;
}

QString hashName(const QString& description) {
    return QString::fromLatin1(
        QCryptographicHash::hash(description.toUtf8(), QCryptographicHash::Sha1).toHex().left(12));
}

void putBE16(QByteArray& out, unsigned v) {
    out.append(static_cast<char>((v >> 8) & 0xff));
    out.append(static_cast<char>(v & 0xff));
}
void putBE32(QByteArray& out, quint32 v) {
    putBE16(out, v >> 16);
    putBE16(out, v & 0xffff);
}

// PackBits, as PSD and TIFF use it.
QByteArray packBits(const unsigned char* data, int n) {
    QByteArray out;
    int i = 0;
    while (i < n) {
        int run = 1;
        while (i + run < n && run < 128 && data[i + run] == data[i]) ++run;
        if (run >= 3) {
            out.append(static_cast<char>(1 - run));
            out.append(static_cast<char>(data[i]));
            i += run;
            continue;
        }
        int lit = 0;
        while (i + lit < n && lit < 128) {
            if (i + lit + 2 < n && data[i + lit] == data[i + lit + 1] &&
                data[i + lit] == data[i + lit + 2]) {
                break;
            }
            ++lit;
        }
        out.append(static_cast<char>(lit - 1));
        out.append(reinterpret_cast<const char*>(data + i), lit);
        i += lit;
    }
    return out;
}

// A flattened RGB(A) Photoshop file, 8 bits, RLE-compressed, without layers.
bool writePsd(const QString& path, int width, int height, int channels,
              const std::vector<unsigned char>& pixels) {
    QByteArray out("8BPS");
    putBE16(out, 1);
    out.append(6, '\0');
    putBE16(out, channels);
    putBE32(out, height);
    putBE32(out, width);
    putBE16(out, 8);
    putBE16(out, 3);  // RGB
    putBE32(out, 0);  // colour mode data
    putBE32(out, 0);  // image resources
    if (channels == 4) {
        // A negative layer count says that the first extra channel is the transparency of the
        // merged picture; one empty layer goes with it. Photoshop stores the merged colours
        // matted against white.
        QByteArray layer;
        putBE16(layer, static_cast<unsigned>(-1) & 0xffff);  // layer count -1
        layer.append(16, '\0');                              // empty bounds
        putBE16(layer, 0);                                   // no channels
        layer.append("8BIMnorm");
        layer.append("\xff\0\0\0", 4);  // opacity, clipping, flags, filler
        putBE32(layer, 12);             // extra data: mask, blending ranges, name
        putBE32(layer, 0);
        putBE32(layer, 0);
        layer.append(4, '\0');  // empty name, padded to 4
        QByteArray info;
        putBE32(info, static_cast<quint32>(layer.size()));
        info.append(layer);
        putBE32(info, 0);  // global mask
        putBE32(out, static_cast<quint32>(info.size()));
        out.append(info);
    } else {
        putBE32(out, 0);  // layers and masks
    }
    putBE16(out, 1);  // RLE
    std::vector<QByteArray> rows;
    rows.reserve(static_cast<size_t>(channels) * height);
    std::vector<unsigned char> plane(width);
    for (int c = 0; c < channels; ++c) {
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const unsigned char* p = &pixels[(static_cast<size_t>(y) * width + x) * channels];
                plane[x] =
                    (channels == 4 && c < 3)
                        ? static_cast<unsigned char>((p[c] * p[3] + 255 * (255 - p[3]) + 127) / 255)
                        : p[c];
            }
            rows.push_back(packBits(plane.data(), width));
        }
    }
    for (const QByteArray& r : rows) putBE16(out, static_cast<unsigned>(r.size()));
    for (const QByteArray& r : rows) out.append(r);
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(out) == out.size();
}

quint32 crc32(const QByteArray& data) {
    quint32 crc = 0xffffffffu;
    for (char ch : data) {
        crc ^= static_cast<unsigned char>(ch);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void pngChunk(QByteArray& out, const char* type, const QByteArray& body) {
    putBE32(out, static_cast<quint32>(body.size()));
    QByteArray typed(type);
    typed.append(body);
    out.append(typed);
    putBE32(out, crc32(typed));
}

// Turns the picture of the first track a quarter clockwise by rewriting its matrix in 'tkhd'.
bool rotateFirstTrack(const QString& path, int width, int height) {
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite)) return false;
    QByteArray bytes = f.readAll();
    const qsizetype at = bytes.indexOf("tkhd");
    if (at < 0) return false;
    const int version = static_cast<unsigned char>(bytes[at + 4]);
    const qsizetype matrix = at + 4 + 4 + (version == 1 ? 32 : 20) + 16;
    QByteArray m;
    const quint32 one = 0x00010000u;
    for (quint32 v : {0u, one, 0u, static_cast<quint32>(-static_cast<qint32>(one)), 0u, 0u,
                      static_cast<quint32>(height) << 16, 0u, 0x40000000u}) {
        putBE32(m, v);
    }
    bytes.replace(matrix, m.size(), m);
    (void)width;
    f.seek(0);
    return f.write(bytes) == bytes.size();
}

}  // namespace

QString TestMedia::directory() {
    static QTemporaryDir dir;
    return dir.path();
}

namespace {

// Generated stills and movies depend only on their description, so every test process shares
// them through a cache in the build folder instead of running the encoders again (ctest runs each
// test in its own process). The salt changes whenever this file is rebuilt, so a change of the
// generators never meets files made by an older version.
QString cachedPath(const QString& prefix, const QString& description, const QString& extension) {
    static const QString dir = [] {
        const QString d = QStringLiteral(VELMAR_TEST_MEDIA_CACHE);
        QDir().mkpath(d);
        return d;
    }();
    static const QString salt = QStringLiteral(__DATE__ " " __TIME__);
    return dir + "/" + prefix + "-" + hashName(description + " " + salt) + "." + extension;
}

// A private name beside the final file, with the same extension (encoders pick the format by
// it); the finished file is renamed into place, so other processes see it whole or not at all.
QString workPath(const QString& finalPath) {
    static std::atomic<int> counter{0};
    const QFileInfo info(finalPath);
    return info.absolutePath() + QString("/.partial-%1-%2-").arg(::getpid()).arg(counter++) +
           info.fileName();
}

bool publish(const QString& work, const QString& finalPath) {
    if (::rename(QFile::encodeName(work).constData(), QFile::encodeName(finalPath).constData()) ==
        0) {
        return true;
    }
    QFile::remove(work);
    return false;
}

}  // namespace

bool TestMedia::run(const QString& program, const QStringList& arguments, QByteArray* output) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(10000)) return false;
    if (!process.waitForFinished(120000)) {
        process.kill();
        process.waitForFinished();
        return false;
    }
    const QByteArray out = process.readAll();
    if (output != nullptr) *output = out;
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

QString TestMedia::file(const QString& name, const QByteArray& bytes) {
    const QString path = directory() + "/" + name;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
    return path;
}

QString TestMedia::still(const QString& extension, const StillOptions& o) {
    std::lock_guard lock(mediaMutex());
    const QString description = QString("still %1 %2x%3 a%4 o%5 b%6")
                                    .arg(extension)
                                    .arg(o.width)
                                    .arg(o.height)
                                    .arg(o.alpha)
                                    .arg(o.orientation)
                                    .arg(o.busy);
    const QString finalPath = cachedPath("still", description, extension);
    if (QFileInfo::exists(finalPath)) return finalPath;
    const QString path = workPath(finalPath);

    const int channels = o.alpha ? 4 : 3;
    std::vector<unsigned char> pixels(static_cast<size_t>(o.width) * o.height * channels);
    for (int y = 0; y < o.height; ++y) {
        for (int x = 0; x < o.width; ++x) {
            unsigned char* p = &pixels[(static_cast<size_t>(y) * o.width + x) * channels];
            const bool left = x < o.width / 2;
            if (o.busy) {
                const unsigned noise =
                    (static_cast<unsigned>(x) * 73856093u) ^ (static_cast<unsigned>(y) * 19349663u);
                p[0] = static_cast<unsigned char>((x * 255) / std::max(1, o.width - 1));
                p[1] = static_cast<unsigned char>((y * 255) / std::max(1, o.height - 1));
                p[2] = static_cast<unsigned char>(112 + ((noise >> 7) & 31));
            } else {
                p[0] = (y == 0 || left) ? 255 : 0;
                p[1] = y == 0 ? 255 : 0;
                p[2] = (y == 0 || !left) ? 255 : 0;
            }
            if (o.alpha) {
                p[3] = static_cast<unsigned char>(o.width > 1 ? (x * 255) / (o.width - 1) : 255);
            }
        }
    }
    if (extension.compare("psd", Qt::CaseInsensitive) == 0) {
        if (!writePsd(path, o.width, o.height, channels, pixels)) {
            QFile::remove(path);
            return {};
        }
        return publish(path, finalPath) ? finalPath : QString();
    }
    // HEIC is encoded by the oiiotool program from a lossless copy: the HEVC encoder keeps
    // allocations it never frees, which must not show up as leaks of the test process.
    const bool heic = extension.compare("heic", Qt::CaseInsensitive) == 0;
    const QString target = heic ? path + ".png" : path;
    const std::string file = target.toStdString();
    auto out = OIIO::ImageOutput::create(file);
    if (!out) {
        (void)OIIO::geterror();
        return {};
    }
    OIIO::ImageSpec spec(o.width, o.height, channels, OIIO::TypeDesc::UINT8);
    if (o.orientation != 1) spec.attribute("Orientation", o.orientation);
    if (extension.compare("exr", Qt::CaseInsensitive) == 0) spec.set_format(OIIO::TypeDesc::HALF);
    if (!out->open(file, spec)) {
        (void)out->geterror();
        return {};
    }
    const bool written = out->write_image(OIIO::TypeDesc::UINT8, pixels.data());
    out->close();
    if (!written) {
        (void)out->geterror();
        QFile::remove(target);
        return {};
    }
    if (heic) {
        const bool encoded =
            run("oiiotool", {"--iconfig", "oiio:UnassociatedAlpha", "1", target, "-o", path});
        QFile::remove(target);
        if (!encoded) {
            QFile::remove(path);
            return {};
        }
    }
    return publish(path, finalPath) ? finalPath : QString();
}

bool TestMedia::canWriteHeic() {
    static const bool can = !still("heic").isEmpty();
    return can;
}

QString TestMedia::headerOnlyStill(const QString& extension, int width, int height) {
    std::lock_guard lock(mediaMutex());
    const QString path =
        directory() + QString("/header-%1x%2.%3").arg(width).arg(height).arg(extension);
    if (QFileInfo::exists(path)) return path;
    if (extension == "png") {
        QByteArray png("\x89PNG\r\n\x1a\n", 8);
        QByteArray ihdr;
        putBE32(ihdr, static_cast<quint32>(width));
        putBE32(ihdr, static_cast<quint32>(height));
        ihdr.append(static_cast<char>(8));  // bit depth
        ihdr.append(static_cast<char>(2));  // RGB
        ihdr.append(3, '\0');
        pngChunk(png, "IHDR", ihdr);
        pngChunk(png, "IDAT", QByteArray("\x78\x9c\x03\x00\x00\x00\x00\x01", 8));
        pngChunk(png, "IEND", {});
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(png) != png.size()) return {};
        return path;
    }
    // Other formats: the header is written when the file is opened; no pixels follow.
    const std::string file = path.toStdString();
    auto out = OIIO::ImageOutput::create(file);
    if (!out) {
        (void)OIIO::geterror();
        return {};
    }
    OIIO::ImageSpec spec(width, height, 3, OIIO::TypeDesc::HALF);
    if (!out->open(file, spec)) {
        (void)out->geterror();
        return {};
    }
    out->close();
    (void)out->geterror();
    return path;
}

QString TestMedia::grownCopy(const QString& source, const QString& name, qint64 size) {
    const QString path = directory() + "/" + name;
    QFile::remove(path);
    if (!QFile::copy(source, path)) return {};
    QFile f(path);
    if (!f.resize(size)) return {};
    return path;
}

QString TestMedia::fifo(const QString& name) {
    const QString path = directory() + "/" + name;
    QFile::remove(path);
    if (::mkfifo(QFile::encodeName(path).constData(), 0600) != 0) return {};
    return path;
}

QString TestMedia::movie(const QString& extension, const MovieOptions& o) {
    std::lock_guard lock(mediaMutex());
    const QString description =
        QString("movie %1 %2x%3 %4/%5 %6s %7 %8 a%9 %10 %11 %12 v%13 r%14 c%15")
            .arg(extension)
            .arg(o.width)
            .arg(o.height)
            .arg(o.frameRateNum)
            .arg(o.frameRateDen)
            .arg(o.seconds)
            .arg(o.codec, o.pixelFormat)
            .arg(o.audio)
            .arg(o.audioRate)
            .arg(o.audioChannels)
            .arg(o.codecArguments.join(' '))
            .arg(o.video)
            .arg(o.rotation)
            .arg(o.coverArt);
    const QString finalPath = cachedPath("movie", description, extension);
    if (QFileInfo::exists(finalPath)) return finalPath;
    const QString path = workPath(finalPath);

    QStringList args{"-hide_banner", "-loglevel", "error", "-y"};
    if (o.video) {
        args << "-f"
             << "lavfi"
             << "-i"
             << QString("testsrc2=size=%1x%2:rate=%3/%4:duration=%5")
                    .arg(o.width)
                    .arg(o.height)
                    .arg(o.frameRateNum)
                    .arg(o.frameRateDen)
                    .arg(o.seconds);
    }
    if (o.audio) {
        args << "-f"
             << "lavfi"
             << "-i"
             << QString("sine=frequency=1000:sample_rate=%1:duration=%2")
                    .arg(o.audioRate)
                    .arg(o.seconds);
    }
    if (o.video) args << "-c:v" << o.codec << "-pix_fmt" << o.pixelFormat << o.codecArguments;
    if (o.coverArt && !o.video) {
        args << "-f"
             << "lavfi"
             << "-i"
             << "color=c=blue:size=64x64:duration=0.1"
             << "-map"
             << "0:a"
             << "-map"
             << "1:v"
             << "-c:v"
             << "mjpeg"
             << "-frames:v"
             << "1"
             << "-disposition:v:0"
             << "attached_pic";
    }
    if (o.audio) {
        const bool pcm = extension == "mov" || extension == "mxf" || extension == "avi";
        args << "-c:a" << (pcm ? "pcm_s16le" : "aac") << "-ac" << QString::number(o.audioChannels)
             << "-ar" << QString::number(o.audioRate);
    }
    args << "-shortest" << path;
    if (!run("ffmpeg", args) || (o.rotation == 90 && !rotateFirstTrack(path, o.width, o.height))) {
        QFile::remove(path);
        return {};
    }
    return publish(path, finalPath) ? finalPath : QString();
}

}  // namespace velmar::test
