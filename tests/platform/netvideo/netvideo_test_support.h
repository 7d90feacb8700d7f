#pragma once

// Helpers for tests that talk to the network-video runtime module: finding and loading it,
// reading a sender's address, running ffmpeg programs as receivers, waiting with a bound.

#include "platform/netvideo/netvideo_api.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace velmar::test {

// The module is built beside the program, in the build's src folder.
inline std::string netVideoLibraryPath() {
    const auto exe = std::filesystem::read_symlink("/proc/self/exe");
    return (exe.parent_path().parent_path() / "src" / kNetVideoLibraryName).string();
}

// The module opened by path (the same copy a loader opening that path gets).
struct NetVideoModule {
    void* handle = nullptr;
    const VelmarNetVideoApi* api = nullptr;

    explicit NetVideoModule(const std::string& path = netVideoLibraryPath()) {
        handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        auto load =
            reinterpret_cast<VelmarNetVideoLoadFunction>(::dlsym(handle, kNetVideoEntryPoint));
        api = load ? load() : nullptr;
    }
    ~NetVideoModule() {
        if (handle) ::dlclose(handle);
    }
    VelmarNetVideoStats stats() const {
        VelmarNetVideoStats s{};
        reinterpret_cast<VelmarNetVideoStatsFunction>(::dlsym(handle, kNetVideoStatsHook))(&s);
        return s;
    }
    void setFaults(unsigned faults) const {
        reinterpret_cast<VelmarNetVideoFaultsFunction>(::dlsym(handle, kNetVideoFaultsHook))(
            faults);
    }
};

// A private $XDG_RUNTIME_DIR for the address files of this test.
struct PrivateRuntimeDir {
    QTemporaryDir dir;
    PrivateRuntimeDir() { setenv("XDG_RUNTIME_DIR", dir.path().toUtf8().constData(), 1); }
    std::string address(const std::string& senderName) const {
        std::ifstream in(dir.path().toStdString() + "/" + senderName + ".netvideo");
        std::string line;
        std::getline(in, line);
        return line;
    }
};

// Polls `done` every few milliseconds, running `tick` in between, for at most `limit`.
inline bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit,
                      const std::function<void()>& tick = {}) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        if (tick) tick();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A child program (ffmpeg, ffprobe) with its output to a file; killed at the end if alive.
class ChildProcess {
  public:
    ChildProcess(const std::vector<std::string>& args, const std::string& outputFile) {
        QStringList arguments;
        for (size_t i = 1; i < args.size(); ++i) arguments << QString::fromStdString(args[i]);
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.setStandardInputFile(QProcess::nullDevice());
        process_.setStandardOutputFile(QString::fromStdString(outputFile));
        process_.start(QString::fromStdString(args[0]), arguments);
        process_.waitForStarted();
    }
    ~ChildProcess() {
        signal(SIGCONT);
        process_.kill();
        process_.waitForFinished();
    }
    // Only to a running child: the id of one that ended is 0, and kill(0, ...) would signal
    // the whole process group (other tests' children run in it under ctest).
    void signal(int sig) const {
        if (const pid_t pid = pid_t(process_.processId()); pid > 0) ::kill(pid, sig);
    }
    bool exited() {
        return process_.state() == QProcess::NotRunning || process_.waitForFinished(0);
    }
    int exitCode() const { return process_.exitCode(); }

  private:
    QProcess process_;
};

inline std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::string readText(const std::string& path) {
    const auto bytes = readFile(path);
    return {bytes.begin(), bytes.end()};
}

// A socket connected to "127.0.0.1:PORT"; the caller closes it.
inline int connectTo(const std::string& address) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(uint16_t(std::stoi(address.substr(address.find(':') + 1))));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
    return fd;
}

// Whether the sender closed the connection (end of stream or reset) before anything arrived;
// false when a byte came or nothing happened for 20 seconds.
inline bool closedBySender(int fd) {
    const timeval limit{20, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    char byte = 0;
    const ssize_t n = ::recv(fd, &byte, 1, 0);
    return n == 0 || (n < 0 && errno == ECONNRESET);
}

}  // namespace velmar::test
