// The server directory: where servers' sockets live, how names map onto socket files, and the
// listing of running servers.

#include "platform/texshare/runtime/texshare_api.h"
#include "platform/texshare/runtime/texshare_wire.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#define VELMAR_EXPORT extern "C" __attribute__((visibility("default")))

namespace velmar::texshare::wire {
namespace {

constexpr const char* kSuffix = ".sock";

bool plainByte(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A folder of ours: made 0700 when missing; refused when it is a link, not a folder, not ours,
// or writable by others (anyone who can write there could stand in for our servers).
bool ensurePrivateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return st.st_uid == ::getuid() && (st.st_mode & 0077) == 0;
}

}  // namespace

std::string directory() {
    // The user's runtime folder when it is there (it may be named but gone), else one of our own
    // in /tmp.
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
        const std::string path = std::string(runtime) + "/velmar-texshare";
        if (ensurePrivateFolder(path)) return path;
    }
    const std::string path = "/tmp/velmar-texshare-" + std::to_string(::getuid());
    return ensurePrivateFolder(path) ? path : std::string();
}

bool socketAddress(const char* name, sockaddr_un& address, socklen_t& length) {
    if (!name || !name[0]) return false;
    std::string path = directory();
    if (path.empty()) return false;
    path += '/';
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char* p = name; *p; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (plainByte(c)) {
            path += char(c);
        } else {  // '/', '.', spaces and any other byte: %XX, so every name is one plain entry
            path += '%';
            path += kHex[c >> 4];
            path += kHex[c & 15];
        }
    }
    path += kSuffix;
    if (path.size() >= sizeof address.sun_path) return false;
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    length = socklen_t(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    return true;
}

std::string nameOfEntry(const char* entry) {
    const size_t length = std::strlen(entry);
    const size_t suffix = std::strlen(kSuffix);
    if (length <= suffix || std::strcmp(entry + length - suffix, kSuffix) != 0) return {};
    const size_t stem = length - suffix;
    std::string name;
    for (size_t i = 0; i < stem; ++i) {
        const char c = entry[i];
        if (c != '%') {
            if (!plainByte(static_cast<unsigned char>(c))) return {};
            name += c;
            continue;
        }
        if (i + 2 >= stem) return {};
        const int high = hexValue(entry[i + 1]);
        const int low = hexValue(entry[i + 2]);
        // Only the one spelling socketAddress() makes: no NUL, no escaped plain byte.
        if (high < 0 || low < 0 || (high == 0 && low == 0) ||
            plainByte(static_cast<unsigned char>(high * 16 + low)))
            return {};
        name += char(high * 16 + low);
        i += 2;
    }
    return name;
}

}  // namespace velmar::texshare::wire

VELMAR_EXPORT size_t velmar_texshare_directory(char* path, size_t capacity) {
    const std::string directory = velmar::texshare::wire::directory();
    if (directory.empty() || !path || directory.size() + 1 > capacity) return 0;
    std::memcpy(path, directory.c_str(), directory.size() + 1);
    return directory.size();
}

VELMAR_EXPORT int velmar_texshare_list_servers(VelmarTexShareServerCallback callback,
                                               void* context) {
    using namespace velmar::texshare;
    const std::string directory = wire::directory();
    if (directory.empty()) return 0;
    DIR* folder = ::opendir(directory.c_str());
    if (!folder) return 0;
    int count = 0;
    while (const dirent* entry = ::readdir(folder)) {
        const std::string name = wire::nameOfEntry(entry->d_name);
        sockaddr_un address{};
        socklen_t length = 0;
        if (name.empty() || !wire::socketAddress(name.c_str(), address, length)) continue;
        // A server answers (or is too busy to take one more connection just now); the socket of
        // one that died refuses. The probe never waits, and never greets, so the server does
        // not count it as a client.
        const int probe = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (probe < 0) continue;
        const bool running =
            ::connect(probe, reinterpret_cast<const sockaddr*>(&address), length) == 0 ||
            errno == EAGAIN;
        ::close(probe);
        if (!running) continue;
        ++count;
        if (callback) callback(name.c_str(), context);
    }
    ::closedir(folder);
    return count;
}
