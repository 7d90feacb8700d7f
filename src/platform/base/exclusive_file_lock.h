#pragma once

#include <QByteArray>
#include <QString>

namespace velmar {

// An exclusive lock on a file (flock), held until release() or destruction. The kernel drops it
// when the process ends in any way, so a crashed or killed holder never leaves a lock behind; the
// lock file itself stays and is harmless. The descriptor is not inherited by child processes. Two
// locks on the same file conflict also within one process.
//
// After the lock is taken it is checked to be on the file that is at the path now: a lock file
// deleted or replaced while another copy held it would otherwise let two holders each lock a
// different file of the same name. A symbolic link at the path is refused, and so is anything
// that is not a regular file (a pipe or device there would otherwise hold the open) and a file
// another user owns (checked on the opened file); errorCode() and error() then say what is in its
// place.
//
// A folder can be locked itself (tryLockDirectory): such a lock lives on the folder, not on a
// name inside it, so deleting or replacing any file there cannot take it away.
class ExclusiveFileLock {
  public:
    enum class Outcome {
        locked,  // this object holds the lock
        busy,    // another holder has it (or still had it when the wait ran out)
        failed,  // the file could not be opened or locked: see error()
    };

    ExclusiveFileLock() = default;
    ~ExclusiveFileLock();
    ExclusiveFileLock(const ExclusiveFileLock&) = delete;
    ExclusiveFileLock& operator=(const ExclusiveFileLock&) = delete;

    // Creates the file when needed and takes the lock without waiting; false when another
    // holder has it or the file cannot be opened (outcome() tells which). A lock already held is
    // released first.
    bool tryLock(const QString& path);
    // Locks the existing folder at the path (a symbolic link to one is followed), without
    // waiting; false when another holder has it or it cannot be opened. A lock already held is
    // released first.
    bool tryLockDirectory(const QString& path);
    // Waits at most timeoutMs for the lock; false when it stayed busy or failed.
    bool lockWithin(const QString& path, int timeoutMs);
    void release();
    bool isLocked() const { return fd_ >= 0; }
    // True while the lock is held on the file (or folder) that is at its path now; false once it
    // was deleted or replaced (the lock then guards nothing another copy would see).
    bool heldAtPath() const;

    // The reason of `failed` that is not the system's own error number.
    static constexpr int kKeepsBeingReplaced = -100;  // replaced between every open and lock

    // How the last tryLock or lockWithin ended, and for `failed` the reason: as a code (the
    // system's error number; for what is in the lock file's place AtomicFile's kLinkRefused,
    // kOtherOwner or kNotRegular; or kKeepsBeingReplaced), which models/system_error_text.h
    // tells the operator in the interface language, and in English for standard error and the
    // log.
    Outcome outcome() const { return outcome_; }
    int errorCode() const { return errorCode_; }
    const QString& error() const { return error_; }

  private:
    Outcome attempt(const QString& path, bool directory);
    // Keeps `code` as the reason of a failure, with its English text.
    Outcome failed(int code);

    int fd_ = -1;
    QByteArray path_;
    bool directory_ = false;
    Outcome outcome_ = Outcome::failed;
    int errorCode_ = 0;
    QString error_;
};

}  // namespace velmar
