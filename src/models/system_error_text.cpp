#include "models/system_error_text.h"

#include "models/localized.h"

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
        default:
            break;
    }
    char buffer[256];
    // The GNU strerror_r: thread-safe, returns the text (maybe not in the buffer).
    return QString::fromLocal8Bit(::strerror_r(code, buffer, sizeof buffer));
}

}  // namespace velmar
