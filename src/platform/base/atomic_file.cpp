#include "platform/base/atomic_file.h"

#include "platform/base/regular_file.h"

#include <QFile>

#include <sys/stat.h>

namespace velmar {

static_assert(AtomicFile::kNotRegular == RegularFile::kNotRegular,
              "one code for a pipe, device or socket in a file's place");

namespace {

bool finish(int result, int* code) {
    if (code) *code = result;
    return result == 0;
}

}  // namespace

bool AtomicFile::write(const QString& path, const QByteArray& data, int* code,
                       ReadOnlyTarget readOnly, Existing existing) {
    Options options;
    options.readOnly = readOnly;
    options.existing = existing;
    return write(path, data, code, options);
}

bool AtomicFile::write(const QString& path, const QByteArray& data, int* code,
                       const Options& options) {
    atomic_file::Content content;
    content.data = data.constData();
    content.size = static_cast<size_t>(data.size());
    return finish(atomic_file::write(QFile::encodeName(path).constData(), content, options), code);
}

bool AtomicFile::copy(int sourceFd, const QString& path, int* code, const Options& options) {
    atomic_file::Content content;
    content.copyFrom = sourceFd;
    return finish(atomic_file::write(QFile::encodeName(path).constData(), content, options), code);
}

int AtomicFile::check(const QString& path, const Options& options) {
    return atomic_file::check(QFile::encodeName(path).constData(), options);
}

bool AtomicFile::guardedFolder(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           atomic_file::guardedFolder(st);
}

void AtomicFile::removeLeftovers(const QString& path) {
    atomic_file::removeLeftovers(QFile::encodeName(path).constData());
}

void AtomicFile::removeAllLeftovers(const QString& folder) {
    atomic_file::removeAllLeftovers(QFile::encodeName(folder).constData());
}

QString AtomicFile::errorText(int code) {
    return QString::fromLocal8Bit(atomic_file::errorText(code));
}

}  // namespace velmar
