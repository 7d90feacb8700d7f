// libFuzzer target for the still image safety check: the input after its first byte is written to
// a file whose extension the first byte picks (the extension must not matter to the check), then
// the check and the size query run on it. Built by the "fuzz" preset (scripts/run-fuzzers).
#include "core/image_loader.h"

#include <QFile>
#include <QUrl>

#include <unistd.h>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* const kExtensions[] = {"png", "jpg", "tif", "psd", "heic",
                                              "bmp", "gif", "exr", "txt"};
    if (size == 0) return 0;
    const char* extension = kExtensions[data[0] % (sizeof kExtensions / sizeof *kExtensions)];
    const QString path = QString("/tmp/still-header-fuzz-%1.%2").arg(::getpid()).arg(extension);
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
        f.write(reinterpret_cast<const char*>(data + 1), static_cast<qint64>(size - 1));
    }
    const QUrl url = QUrl::fromLocalFile(path);
    (void)velmar::ImageLoader::rejectionReason(url);
    (void)velmar::ImageLoader::pixelSize(url);
    QFile::remove(path);
    return 0;
}
