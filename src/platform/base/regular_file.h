#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

#include <cerrno>
#include <optional>

namespace velmar {

// A file the program keeps at a fixed name (settings, autosave, locks, backups, the log), opened
// so that whatever another process put in its place is refused at once instead of waited on: a
// pipe would hold open() or read() until a writer comes, a device may never answer, and a folder
// has no content. The open itself never waits (O_NONBLOCK), then the descriptor is checked to be
// a regular file and only then made blocking again, so no check and open can be raced apart.
// The descriptor is not inherited by child processes. Owns its descriptor; move-only.
class RegularFile {
  public:
    enum class Links { follow, refuse };

    RegularFile() = default;
    ~RegularFile();
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    // `flags` as for open(2): the access mode with any of O_CREAT, O_EXCL, O_APPEND and
    // O_TRUNC (truncation happens only once the file is known to be a regular one). With
    // Links::refuse a symbolic link at the path is refused too.
    static RegularFile open(const QByteArray& nativePath, int flags, Links links = Links::follow,
                            mode_t mode = 0600);
    static RegularFile open(const QString& path, int flags, Links links = Links::follow,
                            mode_t mode = 0600);

    bool isOpen() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    // Why the open failed: the system's error number; EISDIR for a folder in the file's place,
    // kNotRegular for a pipe, device or socket there, ELOOP for a refused link.
    int error() const { return error_; }
    // The reason as text: the system's, or for kNotRegular an English one (standard error and
    // the log show it).
    QString errorString() const;
    // True when something that is not a regular file (a folder included) is at the path.
    bool notRegular() const { return error_ == EISDIR || error_ == kNotRegular; }

    // Reads from the current position to the end, but never more than `limit` bytes: with more
    // there, the first limit + 1 bytes are returned and *whole is false. None on a read error
    // (error() then tells it).
    std::optional<QByteArray> read(qint64 limit, bool* whole = nullptr);
    // Writes all of `data`, retrying short writes; false on an error (error() tells it).
    bool writeAll(const QByteArray& data);
    // Gives the descriptor to the caller, who closes it.
    int release();
    void close();

    // The error number kept for a pipe, device or socket at the path; not one the system uses.
    static constexpr int kNotRegular = -2;

  private:
    int fd_ = -1;
    int error_ = 0;
};

}  // namespace velmar
