#include "models/system_error_text.h"

#include "models/localized.h"
#include "platform/base/exclusive_file_lock.h"

#include <cerrno>
#include <cstring>

namespace velmar {

QString systemErrorText(int code) {
    switch (code) {
        case EACCES:
        case EPERM:
            return localized("アクセス権がありません");
        case ENOSPC:
        case EDQUOT:
            return localized("ディスクの空き容量が足りません");
        case EROFS:
            return localized("読み取り専用のファイルシステムです");
        case ENOENT:
            return localized("ファイルまたはフォルダが見つかりません");
        case ENOTDIR:
            return localized("フォルダではありません");
        case AtomicFile::kLinkRefused:
            return localized("シンボリックリンクが置かれています");
        case AtomicFile::kOtherOwner:
            return localized("他のユーザーのファイルが置かれています");
        case AtomicFile::kNotRegular:
            return localized("通常のファイルではないものが置かれています");
        case ExclusiveFileLock::kKeepsBeingReplaced:
            return localized("ロックファイルが置き換えられ続けています");
        default:
            break;
    }
    char buffer[256];
    // The GNU strerror_r: thread-safe, returns the text (maybe not in the buffer).
    return QString::fromLocal8Bit(::strerror_r(code, buffer, sizeof buffer));
}

bool writeFileWhole(const QString& path, const QByteArray& data, QString* error,
                    AtomicFile::ReadOnlyTarget readOnly, AtomicFile::Existing existing) {
    AtomicFile::Options options;
    options.readOnly = readOnly;
    options.existing = existing;
    return writeFileWhole(path, data, error, options);
}

bool writeFileWhole(const QString& path, const QByteArray& data, QString* error,
                    const AtomicFile::Options& options) {
    int code = 0;
    if (AtomicFile::write(path, data, &code, options)) return true;
    if (error) *error = systemErrorText(code);
    return false;
}

}  // namespace velmar
