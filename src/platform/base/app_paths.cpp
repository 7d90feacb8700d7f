#include "platform/base/app_paths.h"

#include <QStandardPaths>

namespace velmar {

QString AppPaths::supportDirectory() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (base.isEmpty()) return {};
    return base + "/DOVRINE";
}

QString AppPaths::logsDirectory() {
    const QString support = supportDirectory();
    return support.isEmpty() ? QString() : support + "/Logs";
}

QString AppPaths::backupsDirectory() {
    const QString support = supportDirectory();
    return support.isEmpty() ? QString() : support + "/Backups";
}

}  // namespace velmar
