#pragma once

#include "platform/base/atomic_file.h"

#include <QByteArray>
#include <QString>

namespace velmar {

// The operator-facing text of a system error number (errno), of a code of AtomicFile or of one of
// ExclusiveFileLock in the interface language: the common causes of a failed save, and what
// AtomicFile or the lock found in the file's place, have texts of their own (looked up like every
// message); any other number gives the system's own description.
QString systemErrorText(int code);

// AtomicFile::write, with the reason of a failure in the interface language in `error` (when
// given).
bool writeFileWhole(const QString& path, const QByteArray& data, QString* error,
                    AtomicFile::ReadOnlyTarget readOnly = AtomicFile::ReadOnlyTarget::refuse,
                    AtomicFile::Existing existing = AtomicFile::Existing::replace);
bool writeFileWhole(const QString& path, const QByteArray& data, QString* error,
                    const AtomicFile::Options& options);

}  // namespace velmar
