#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <optional>

namespace velmar {

// File names as the file system's bytes. The toolkit names files by text (UTF-8 here), which
// cannot spell a name whose bytes are not valid UTF-8: such a name would become one with U+FFFD
// in it, another file. A file URL can carry it, its bytes percent-encoded.
namespace NativeFileName {

// `name` made absolute against the working folder.
QByteArray absolute(const QByteArray& name);
// The name as text when its bytes are valid UTF-8.
std::optional<QString> text(const QByteArray& name);
// The name for a message: valid UTF-8 as it is, any other byte as \xNN.
QString readable(const QByteArray& name);
// The last part of the name (the whole name when it ends in a slash), for a message likewise.
QString readableFileName(const QByteArray& name);
// A file URL for an absolute name, and the name back from a file URL, byte for byte.
QUrl toUrl(const QByteArray& absoluteName);
QByteArray fromUrl(const QUrl& url);

}  // namespace NativeFileName

}  // namespace velmar
