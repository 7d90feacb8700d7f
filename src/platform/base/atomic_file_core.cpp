#include "platform/base/atomic_file_core.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace velmar::atomic_file {

namespace {

constexpr size_t kUuidLength = 36;
constexpr size_t kCopyChunk = 1 << 16;

class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Fd& operator=(Fd&& other) noexcept {
        if (this != &other) {
            reset();
            fd_ = std::exchange(other.fd_, -1);
        }
        return *this;
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }
    void reset() {
        if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    }

  private:
    int fd_ = -1;
};

// A folder of `path`, opened only to name things in it (no read permission needed).
Fd openFolder(int at, const char* path) {
    return Fd(::openat(at, path, O_PATH | O_DIRECTORY | O_CLOEXEC));
}

// Splits a path into its folder and last name; false when it names no file (ends in a slash).
bool split(const std::string& path, std::string& folder, std::string& name) {
    if (path.empty() || path.back() == '/') return false;
    const size_t slash = path.rfind('/');
    folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    name = path.substr(slash == std::string::npos ? 0 : slash + 1);
    return true;
}

// Where a name leads: the folder and name of the last entry that is not a link, and that entry.
struct Final {
    Fd folder;
    std::string name;
    struct stat st {};
    bool exists = false;
};

// Follows the links at `name` in `startFolder` by the rule in the header. 0, or the code of
// the failure.
int resolve(int startFolder, const std::string& startName, Links links, Final& out) {
    Fd folder(::fcntl(startFolder, F_DUPFD_CLOEXEC, 0));
    if (!folder.valid()) return errno;
    std::string name = startName;
    for (int hop = 0;; ++hop) {
        if (name.empty() || name == "." || name == "..") return EISDIR;
        struct stat st {};
        if (::fstatat(folder.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT) return errno;
            out.exists = false;
            break;
        }
        if (!S_ISLNK(st.st_mode)) {
            out.st = st;
            out.exists = true;
            break;
        }
        if (links == Links::refuse) return kLinkRefused;
        if (hop == kMaxLinkHops) return ELOOP;
        struct stat folderSt {};
        if (::fstat(folder.get(), &folderSt) != 0) return errno;
        if (st.st_uid != ::geteuid() || !guardedFolder(folderSt)) return kLinkRefused;
        char text[PATH_MAX];
        const ssize_t length = ::readlinkat(folder.get(), name.c_str(), text, sizeof text);
        if (length < 0) return errno;
        if (length == static_cast<ssize_t>(sizeof text)) return ENAMETOOLONG;
        std::string nextFolder;
        if (!split(std::string(text, static_cast<size_t>(length)), nextFolder, name))
            return length == 0 ? ENOENT : EISDIR;
        // A relative link is read from the link's own folder; the folders on the way are left
        // to the system, as for the path first given.
        if (nextFolder != ".") {
            Fd next = openFolder(folder.get(), nextFolder.c_str());
            if (!next.valid()) return errno;
            folder = std::move(next);
        }
    }
    out.folder = std::move(folder);
    out.name = std::move(name);
    return 0;
}

// The process's file-creation mask, read without changing it (umask() would, for a moment, for
// every thread). 022 when it cannot be read.
mode_t processUmask() {
    Fd status(::open("/proc/self/status", O_RDONLY | O_CLOEXEC));
    char text[1024];
    ssize_t length = status.valid() ? ::read(status.get(), text, sizeof text - 1) : -1;
    if (length <= 0) return 022;
    text[length] = '\0';
    const char* line = std::strstr(text, "\nUmask:");
    unsigned mask = 0;
    return line && std::sscanf(line + 7, "%o", &mask) == 1 ? static_cast<mode_t>(mask & 0777) : 022;
}

// A random version-4 UUID in lower case, for a temporary's name no writer used before.
std::string newUuid() {
    unsigned char bytes[16];
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        // Without the kernel's randomness: the time, the process and a counter are unique too.
        static std::atomic<unsigned long long> counter{0};
        timespec now{};
        ::clock_gettime(CLOCK_REALTIME, &now);
        unsigned long long parts[2] = {
            static_cast<unsigned long long>(now.tv_sec) * 1'000'000'000ULL +
                static_cast<unsigned long long>(now.tv_nsec),
            (static_cast<unsigned long long>(::getpid()) << 32) ^ counter.fetch_add(1)};
        std::memcpy(bytes, parts, sizeof bytes);
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0f) | 0x40);
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3f) | 0x80);
    static constexpr char hex[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < sizeof bytes; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) out += '-';
        out += hex[bytes[i] >> 4];
        out += hex[bytes[i] & 15];
    }
    return out;
}

// The temporaries of `name` are named "." + name + ".tmp-" + a UUID. A name too long for that
// to stay within the file system's limit of NAME_MAX bytes (a long project name, or a backup
// named to fill the limit) lends the temporary only as much of itself as fits, cut before a
// UTF-8 sequence so the temporary's name stays readable.
std::string temporaryPrefix(const std::string& name) {
    constexpr size_t room = NAME_MAX - kUuidLength - std::char_traits<char>::length("..tmp-");
    size_t cut = std::min(name.size(), room);
    if (cut < name.size()) {
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xc0) == 0x80) --cut;
    }
    return '.' + name.substr(0, cut) + ".tmp-";
}

// Whether an entry is named exactly like our temporaries of one target: prefix and a UUID.
bool isTemporaryOf(const char* entry, const std::string& prefix) {
    const size_t length = std::strlen(entry);
    if (length != prefix.size() + kUuidLength ||
        std::memcmp(entry, prefix.data(), prefix.size()) != 0) {
        return false;
    }
    for (size_t i = 0; i < kUuidLength; ++i) {
        const char c = entry[prefix.size() + i];
        const bool hyphen = i == 8 || i == 13 || i == 18 || i == 23;
        if (hyphen ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

bool writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Writes the content to `fd`; 0 or the error number.
int fill(int fd, const Content& content) {
    if (content.copyFrom < 0) return writeAll(fd, content.data, content.size) ? 0 : errno;
    char chunk[kCopyChunk];
    for (;;) {
        const ssize_t length = ::read(content.copyFrom, chunk, sizeof chunk);
        if (length < 0 && errno == EINTR) continue;
        if (length < 0) return errno;
        if (length == 0) return 0;
        if (!writeAll(fd, chunk, static_cast<size_t>(length))) return errno;
    }
}

// Whether what is at the final name may be replaced, whatever its permission bits: 0 or the code.
// Another user's file, where the options allow one, only when this user may write it.
int judge(int folder, const std::string& name, const struct stat& st, const Options& options) {
    if (st.st_uid != ::geteuid()) {
        if (options.owner == Owner::self) return kOtherOwner;
        if (S_ISREG(st.st_mode) &&
            ::faccessat(folder, name.c_str(), W_OK, AT_EACCESS | AT_SYMLINK_NOFOLLOW) != 0)
            return EACCES;
    }
    if (S_ISDIR(st.st_mode)) return EISDIR;
    // A pipe or socket holds nothing the new file would lose, and is replaced; a device is no
    // file of ours.
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return kNotRegular;
    return 0;
}

}  // namespace

int write(int folderFd, const char* name, const Content& content, const Options& options,
          struct stat* written) {
    Final target;
    if (const int code = resolve(folderFd, name, options.links, target)) return code;
    const int folder = target.folder.get();
    mode_t wanted = 0;
    if (target.exists) {
        const struct stat& st = target.st;
        if (options.existing == Existing::keep) return EEXIST;
        if (const int code = judge(folder, target.name, st, options)) return code;
        const bool refuse = options.readOnly == ReadOnlyTarget::refuse;
        // The owner's bit for the user's own file; for another user's, whether anyone may write.
        const mode_t writeBits = st.st_uid == ::geteuid() ? S_IWUSR : S_IWUSR | S_IWGRP | S_IWOTH;
        if (refuse && (st.st_mode & writeBits) == 0) return EACCES;
        wanted = (st.st_mode & 0777) | (refuse ? 0 : S_IRUSR | S_IWUSR);
    } else {
        wanted = (options.newFileMode & 0777 & ~processUmask()) | S_IRUSR | S_IWUSR;
    }
    removeLeftovers(folder, target.name.c_str());

    std::string temporary;
    Fd file;
    for (int attempt = 0; attempt < 3 && !file.valid(); ++attempt) {
        temporary = temporaryPrefix(target.name) + newUuid();
        file = Fd(::openat(folder, temporary.c_str(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (!file.valid() && errno != EEXIST) break;
    }
    if (!file.valid()) return errno;
    const auto abandon = [&](int code) {
        file.reset();
        ::unlinkat(folder, temporary.c_str(), 0);
        return code;
    };
    // A file system without permission bits may refuse the change; the write goes on.
    if (wanted != 0600) ::fchmod(file.get(), wanted);
    // The old file's group stays where the user may give it (a team's group on a teammate's
    // file, in a folder that would give another); failing that, the folder's decides.
    struct stat made {};
    if (target.exists && ::fstat(file.get(), &made) == 0 && made.st_gid != target.st.st_gid)
        ::fchown(file.get(), static_cast<uid_t>(-1), target.st.st_gid);
    if (const int code = fill(file.get(), content)) return abandon(code);
    if (::fsync(file.get()) != 0) return abandon(errno);
    if (written && ::fstat(file.get(), written) != 0) return abandon(errno);
    if (::close(file.release()) != 0) return abandon(errno);

    if (options.existing == Existing::replace) {
        if (::renameat(folder, temporary.c_str(), folder, target.name.c_str()) != 0)
            return abandon(errno);
    } else if (::renameat2(folder, temporary.c_str(), folder, target.name.c_str(),
                           RENAME_NOREPLACE) != 0) {
        // A file system that cannot rename without replacing gets a second name for the file,
        // which fails too when something is at the name; then the temporary name goes.
        if (errno != EINVAL && errno != ENOSYS) return abandon(errno);
        if (::linkat(folder, temporary.c_str(), folder, target.name.c_str(), 0) != 0)
            return abandon(errno);
        ::unlinkat(folder, temporary.c_str(), 0);
    }
    // Make the new name itself durable; a failure here no longer endangers either version.
    Fd synced(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (synced.valid()) ::fsync(synced.get());
    return 0;
}

int write(const char* path, const Content& content, const Options& options, struct stat* written) {
    std::string folderPath;
    std::string name;
    if (!split(path, folderPath, name)) return *path ? EISDIR : ENOENT;
    const Fd folder = openFolder(AT_FDCWD, folderPath.c_str());
    if (!folder.valid()) return errno;
    return write(folder.get(), name.c_str(), content, options, written);
}

namespace {

// Whether an entry is named like a temporary of some name: "." + a name + ".tmp-" + a UUID.
bool isAnyTemporary(const char* entry) {
    const size_t length = std::strlen(entry);
    constexpr size_t tail = std::char_traits<char>::length(".tmp-") + kUuidLength;
    if (length < tail + 2 || entry[0] != '.') return false;
    return isTemporaryOf(entry + length - tail, ".tmp-");
}

// Removes the stale temporaries in a folder that `isOurs` names.
template <class Matches>
void removeStale(int folderFd, const Matches& isOurs) {
    Fd listed(::openat(folderFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!listed.valid()) return;
    DIR* dir = ::fdopendir(listed.get());
    if (!dir) return;
    listed.release();
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(dir)) {
        if (!isOurs(entry->d_name)) continue;
        struct stat st {};
        if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(st.st_mode) || st.st_uid != ::geteuid() || now - st.st_mtime < kStaleSeconds)
            continue;
        ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::closedir(dir);
}

}  // namespace

int check(const char* path, const Options& options) {
    std::string folderPath;
    std::string name;
    if (!split(path, folderPath, name)) return *path ? EISDIR : ENOENT;
    const Fd folder = openFolder(AT_FDCWD, folderPath.c_str());
    if (!folder.valid()) return errno;
    Final target;
    if (const int code = resolve(folder.get(), name, options.links, target)) return code;
    return target.exists ? judge(target.folder.get(), target.name, target.st, options) : 0;
}

bool isPrivateGroup(gid_t gid) {
    // The user's primary group when it is named as the user and no one else belongs to it: no
    // member listed, and no other account with it as its own primary group. Read once: the
    // account database does not change under a running program in any way that matters here.
    static const long privateGid = [] {
        const uid_t uid = ::geteuid();
        std::vector<char> buffer(16384);
        passwd account{};
        passwd* found = nullptr;
        if (::getpwuid_r(uid, &account, buffer.data(), buffer.size(), &found) != 0 || !found)
            return -1L;
        const std::string userName = account.pw_name;
        const gid_t primary = account.pw_gid;
        std::vector<char> groupBuffer(65536);
        group entry{};
        group* groupFound = nullptr;
        if (::getgrgid_r(primary, &entry, groupBuffer.data(), groupBuffer.size(), &groupFound) !=
                0 ||
            !groupFound || userName != entry.gr_name) {
            return -1L;
        }
        for (char** member = entry.gr_mem; member && *member; ++member)
            if (userName != *member) return -1L;
        // Other accounts whose primary group it is (the local list; a directory service that
        // does not list its accounts cannot add members to a group named as one user).
        ::setpwent();
        long result = static_cast<long>(primary);
        passwd other{};
        passwd* next = nullptr;
        while (::getpwent_r(&other, buffer.data(), buffer.size(), &next) == 0 && next) {
            if (next->pw_gid == primary && next->pw_uid != uid) {
                result = -1L;
                break;
            }
        }
        ::endpwent();
        return result;
    }();
    return privateGid >= 0 && static_cast<gid_t>(privateGid) == gid;
}

bool guardedFolder(const struct stat& folder) {
    if (folder.st_uid != ::geteuid() && folder.st_uid != 0) return false;
    if ((folder.st_mode & S_ISVTX) != 0) return true;
    if ((folder.st_mode & S_IWOTH) != 0) return false;
    return (folder.st_mode & S_IWGRP) == 0 || isPrivateGroup(folder.st_gid);
}

void removeLeftovers(int folderFd, const char* name) {
    const std::string prefix = temporaryPrefix(name);
    removeStale(folderFd, [&](const char* entry) { return isTemporaryOf(entry, prefix); });
}

void removeAllLeftovers(const char* folder) {
    const Fd opened = openFolder(AT_FDCWD, folder);
    if (!opened.valid()) return;
    removeStale(opened.get(), isAnyTemporary);
}

void removeLeftovers(const char* path) {
    std::string folderPath;
    std::string name;
    if (!split(path, folderPath, name)) return;
    const Fd folder = openFolder(AT_FDCWD, folderPath.c_str());
    if (!folder.valid()) return;
    // Beside the name itself (where the temporaries were before a link was put there), and
    // beside the file a link there leads to.
    removeLeftovers(folder.get(), name.c_str());
    Final target;
    if (resolve(folder.get(), name, Links::followOwn, target) != 0) return;
    struct stat given {};
    struct stat reached {};
    const bool sameFolder = ::fstat(folder.get(), &given) == 0 &&
                            ::fstat(target.folder.get(), &reached) == 0 &&
                            given.st_dev == reached.st_dev && given.st_ino == reached.st_ino;
    if (!sameFolder || target.name != name)
        removeLeftovers(target.folder.get(), target.name.c_str());
}

std::string errorText(int code) {
    switch (code) {
        case kNotRegular:
            return "not a regular file (a pipe, device or socket is in its place)";
        case kLinkRefused:
            return "a symbolic link is in its place (not this user's, or in a folder others can "
                   "change)";
        case kOtherOwner:
            return "another user's file is in its place";
        default:
            break;
    }
    char buffer[256];
    // The GNU strerror_r: thread-safe, returns the text (maybe not in the buffer).
    return ::strerror_r(code, buffer, sizeof buffer);
}

}  // namespace velmar::atomic_file
