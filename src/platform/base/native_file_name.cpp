#include "platform/base/native_file_name.h"

#include <QStringDecoder>

#include <unistd.h>
#include <climits>

namespace velmar::NativeFileName {

QByteArray absolute(const QByteArray& name) {
    if (name.isEmpty() || name.startsWith('/')) return name;
    char folder[PATH_MAX];
    if (!::getcwd(folder, sizeof folder)) return name;
    return QByteArray(folder) + '/' + name;
}

std::optional<QString> text(const QByteArray& name) {
    // A leading U+FEFF is part of the name: the decoder would otherwise drop it as a BOM.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    QString decoded = decoder(name);
    if (decoder.hasError()) return std::nullopt;
    return decoded;
}

QString readable(const QByteArray& name) {
    QString result;
    qsizetype i = 0;
    while (i < name.size()) {
        const auto lead = static_cast<unsigned char>(name[i]);
        const qsizetype length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (const auto part = text(name.mid(i, length)); part && i + length <= name.size()) {
            result += *part;
            i += length;
            continue;
        }
        result +=
            QStringLiteral("\\x") + QString::number(lead, 16).toUpper().rightJustified(2, u'0');
        ++i;
    }
    return result;
}

QString readableFileName(const QByteArray& name) {
    const QByteArray last = name.mid(name.lastIndexOf('/') + 1);
    return readable(last.isEmpty() ? name : last);
}

QUrl toUrl(const QByteArray& absoluteName) {
    return QUrl::fromEncoded("file://" + absoluteName.toPercentEncoding("/"), QUrl::StrictMode);
}

QByteArray fromUrl(const QUrl& url) {
    return QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1());
}

}  // namespace velmar::NativeFileName
