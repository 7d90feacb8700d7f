#pragma once

#include <QString>

namespace velmar {

// An exclusive, non-blocking lock on a file (flock), held until release() or destruction. The
// kernel drops it when the process ends in any way, so a crashed or killed holder never leaves a
// lock behind; the lock file itself stays and is harmless. The descriptor is not inherited by
// child processes. Two locks on the same file conflict also within one process.
class ExclusiveFileLock {
  public:
    ExclusiveFileLock() = default;
    ~ExclusiveFileLock();
    ExclusiveFileLock(const ExclusiveFileLock&) = delete;
    ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;

    // Creates the file when needed and takes the lock without waiting; false when another
    // holder has it or the file cannot be opened. A lock already held is released first.
    bool tryLock(const QString& path);
    // Waits for the lock; false only when the file cannot be opened.
    bool lock(const QString& path);
    void release();
    bool isLocked() const { return fd_ >= 0; }

  private:
    bool acquire(const QString& path, bool wait);

    int fd_ = -1;
};

}  // namespace velmar
