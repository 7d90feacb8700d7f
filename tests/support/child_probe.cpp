#include "support/child_probe.h"

#include <QFile>

#include <sys/wait.h>

#include <unistd.h>
#include <csignal>

namespace velmar::test {
namespace {

// A "Vm...:  1234 kB" line of /proc/self/status, in bytes.
qint64 statusBytes(const char* key) {
    QFile f("/proc/self/status");
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(qstrlen(key)).trimmed().split(' ')[0].toLongLong() * 1024;
    }
    return -1;
}

}  // namespace

namespace {

// One attempt; `timedOut` is set when the child had to be ended by its alarm.
ChildProbe::Result runOnce(unsigned seconds, const std::function<void()>& warmUp,
                           const std::function<QByteArray()>& work, bool& timedOut) {
    ChildProbe::Result result;
    int fds[2];
    if (::pipe(fds) != 0) return result;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ::alarm(seconds);  // a hang ends as a signal, not as a stuck test
        warmUp();
        // Writing 5 to clear_refs resets the peak resident size to the current one.
        QFile clear("/proc/self/clear_refs");
        if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1) ::_exit(2);
        clear.close();
        const qint64 before = statusBytes("VmRSS:");
        const QByteArray output = work();
        const qint64 growth = statusBytes("VmHWM:") - before;
        const QByteArray message = QByteArray::number(growth) + '\n' + output.left(1024);
        // Short enough for the pipe to take in one write.
        ::_exit(::write(fds[1], message.constData(), message.size()) == message.size() ? 0 : 3);
    }
    ::close(fds[1]);
    if (pid < 0) {
        ::close(fds[0]);
        return result;
    }
    QByteArray message;
    char buffer[4096];
    for (ssize_t n; (n = ::read(fds[0], buffer, sizeof buffer)) > 0;) message.append(buffer, n);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    timedOut = WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM;
    result.exited = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    const qsizetype newline = message.indexOf('\n');
    result.growthBytes = message.left(newline).toLongLong();
    result.output = message.mid(newline + 1);
    return result;
}

// A child forked from a threaded test process can, rarely, inherit a lock held by another
// thread at the fork and wait on it for ever; that says nothing of the code under test, so a
// child ended by its alarm is tried once more.
ChildProbe::Result runTwiceIfStuck(unsigned seconds, const std::function<void()>& warmUp,
                                   const std::function<QByteArray()>& work) {
    bool timedOut = false;
    ChildProbe::Result result = runOnce(seconds, warmUp, work, timedOut);
    if (timedOut) result = runOnce(seconds, warmUp, work, timedOut);
    return result;
}

}  // namespace

ChildProbe::Result ChildProbe::run(const std::function<void()>& warmUp,
                                   const std::function<QByteArray()>& work) {
    return runTwiceIfStuck(30, warmUp, work);
}

ChildProbe::Result ChildProbe::within(const std::function<QByteArray()>& work, unsigned seconds) {
    return runTwiceIfStuck(
        seconds, [] {}, work);
}

}  // namespace velmar::test
