#include "support/test_media.h"

#include <OpenImageIO/imageio.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

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

}  // namespace

QString TestMedia::directory() {
    static QTemporaryDir dir;
    return dir.path();
}

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
    const QString description = QString("still %1 %2x%3 a%4 o%5")
                                    .arg(extension)
                                    .arg(o.width)
                                    .arg(o.height)
                                    .arg(o.alpha)
                                    .arg(o.orientation);
    const QString path = directory() + "/still-" + hashName(description) + "." + extension;
    if (QFileInfo::exists(path)) return path;

    const int channels = o.alpha ? 4 : 3;
    std::vector<unsigned char> pixels(static_cast<size_t>(o.width) * o.height * channels);
    for (int y = 0; y < o.height; ++y) {
        for (int x = 0; x < o.width; ++x) {
            unsigned char* p = &pixels[(static_cast<size_t>(y) * o.width + x) * channels];
            const bool left = x < o.width / 2;
            p[0] = (y == 0 || left) ? 255 : 0;
            p[1] = y == 0 ? 255 : 0;
            p[2] = (y == 0 || !left) ? 255 : 0;
            if (o.alpha) {
                p[3] = static_cast<unsigned char>(o.width > 1 ? (x * 255) / (o.width - 1) : 255);
            }
        }
    }
    const std::string file = path.toStdString();
    auto out = OIIO::ImageOutput::create(file);
    if (!out) return {};
    OIIO::ImageSpec spec(o.width, o.height, channels, OIIO::TypeDesc::UINT8);
    if (o.orientation != 1) spec.attribute("Orientation", o.orientation);
    if (extension.compare("exr", Qt::CaseInsensitive) == 0) spec.set_format(OIIO::TypeDesc::HALF);
    if (!out->open(file, spec)) return {};
    out->write_image(OIIO::TypeDesc::UINT8, pixels.data());
    out->close();
    return path;
}

QString TestMedia::movie(const QString& extension, const MovieOptions& o) {
    std::lock_guard lock(mediaMutex());
    const QString description = QString("movie %1 %2x%3 %4/%5 %6s %7 %8 a%9 %10 %11")
                                    .arg(extension)
                                    .arg(o.width)
                                    .arg(o.height)
                                    .arg(o.frameRateNum)
                                    .arg(o.frameRateDen)
                                    .arg(o.seconds)
                                    .arg(o.codec, o.pixelFormat)
                                    .arg(o.audio)
                                    .arg(o.audioRate)
                                    .arg(o.audioChannels);
    const QString path = directory() + "/movie-" + hashName(description) + "." + extension;
    if (QFileInfo::exists(path)) return path;

    QStringList args{"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                     QString("testsrc2=size=%1x%2:rate=%3/%4:duration=%5")
                         .arg(o.width)
                         .arg(o.height)
                         .arg(o.frameRateNum)
                         .arg(o.frameRateDen)
                         .arg(o.seconds)};
    if (o.audio) {
        args << "-f" << "lavfi" << "-i"
             << QString("sine=frequency=1000:sample_rate=%1:duration=%2")
                    .arg(o.audioRate)
                    .arg(o.seconds);
    }
    args << "-c:v" << o.codec << "-pix_fmt" << o.pixelFormat;
    if (o.audio) {
        const bool pcm = extension == "mov" || extension == "mxf" || extension == "avi";
        args << "-c:a" << (pcm ? "pcm_s16le" : "aac") << "-ac" << QString::number(o.audioChannels)
             << "-ar" << QString::number(o.audioRate);
    }
    args << "-shortest" << path;
    if (!run("ffmpeg", args)) {
        QFile::remove(path);
        return {};
    }
    return path;
}

}  // namespace velmar::test
