#pragma once

// Helpers for tests that talk to the network-video runtime module: finding and loading it,
// reading a sender's address, running ffmpeg programs as receivers, waiting with a bound.

#include "platform/netvideo/netvideo_api.h"

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

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

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

// A child program (ffmpeg, ffprobe) with its output to a file; killed at the end if still alive.
class ChildProcess {
  public:
    ChildProcess(const std::vector<std::string>& args, const std::string& outputFile) {
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~ChildProcess() {
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGCONT);
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    pid_t pid() const { return pid_; }
    void signal(int sig) const { ::kill(pid_, sig); }
    // True once the child has exited; its status in exitCode().
    bool exited() {
        if (exited_ || pid_ <= 0) return true;
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            exited_ = true;
            exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return exited_;
    }
    int exitCode() const { return exitCode_; }

  private:
    pid_t pid_ = -1;
    bool exited_ = false;
    int exitCode_ = -1;
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

}  // namespace velmar::test
