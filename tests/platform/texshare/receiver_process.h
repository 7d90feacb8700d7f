#pragma once

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace velmar::test {

// A private $XDG_RUNTIME_DIR, so that the servers of this test (and their receivers, which
// inherit it) meet nobody else's.
struct PrivateTexShareDirectory {
    QTemporaryDir dir;
    PrivateTexShareDirectory() { setenv("XDG_RUNTIME_DIR", dir.path().toUtf8().constData(), 1); }
};

// The texture receiver program (texture_receiver.c) running in a process of its own; its
// standard output is read a line at a time (waiting for it: the receiver ends itself within a
// minute whatever happens, so a read ends too). Killed at the end when still running.
class ReceiverProcess {
  public:
    explicit ReceiverProcess(const std::vector<std::string>& arguments) {
        int out[2], in[2];
        // Its standard input is a socket, so that saying something to a receiver that has died
        // fails instead of raising SIGPIPE in the test.
        if (::pipe2(out, O_CLOEXEC) != 0 ||
            ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, in) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::vector<std::string> all{VELMAR_TEXTURE_RECEIVER};
        all.insert(all.end(), arguments.begin(), arguments.end());
        std::vector<char*> argv;
        for (std::string& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        ::close(in[0]);
        output_ = ::fdopen(out[0], "r");
        input_ = in[1];
    }
    ~ReceiverProcess() {
        if (pid_ > 0) kill();
        if (output_) std::fclose(output_);
        if (input_ >= 0) ::close(input_);
    }
    ReceiverProcess(const ReceiverProcess&) = delete;
    ReceiverProcess& operator=(const ReceiverProcess&) = delete;

    // The next line without its end; empty once the receiver has ended.
    std::string readLine() {
        char line[256];
        if (!output_ || !std::fgets(line, sizeof line, output_)) return {};
        std::string text(line);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        return text;
    }
    // Writes one line to its standard input.
    void say(const std::string& line) {
        const std::string text = line + "\n";
        if (input_ >= 0) (void)::send(input_, text.data(), text.size(), MSG_NOSIGNAL);
    }
    // Ends its standard input (a frames receiver then leaves) and returns its exit status.
    int finish() {
        ::close(input_);
        input_ = -1;
        return wait();
    }
    // SIGKILL, as a crash would end it; returns once the process is gone.
    void kill() {
        ::kill(pid_, SIGKILL);
        wait();
    }
    int wait() {
        int status = 0;
        if (pid_ > 0 && ::waitpid(pid_, &status, 0) == pid_) pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    FILE* output_ = nullptr;
    int input_ = -1;
};

// The number of files this process has open.
inline int openFileCount() {
    int count = 0;
    if (DIR* d = ::opendir("/proc/self/fd")) {
        while (::readdir(d)) ++count;
        ::closedir(d);
    }
    return count;
}

}  // namespace velmar::test
