// The built program started several times as the operator would, each copy in a private home:
// a later start hands its project to the running copy, copies sharing a data folder never touch
// each other's autosave, a socket left by a killed copy does not keep the program from
// starting, and a signal while the restore question is up keeps the killed copy's work. What a
// copy did is read from the files it writes (the autosave's origin file names the open project;
// the operation log), polled with generous limits.
#include "models/playout_project.h"
#include "models/project_crypto.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/types.h>
#include <functional>
#include <memory>

namespace velmar {
namespace {

#ifdef VELMAR_PROGRAM

constexpr int kLimitSeconds = 180;

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool pollUntil(const std::function<bool()>& done, int seconds = kLimitSeconds) {
    const QDeadlineTimer deadline(seconds * 1000);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QThread::msleep(100);
    }
    return true;
}

struct SingleInstanceProcesses : ::testing::Test {
    QTemporaryDir root;

    // A user's folders: runtime (the socket), data (autosave, logs), configuration.
    struct Home {
        QString runtime, data, config;
        QString autosaveFolder() const { return data + "/DOVRINE"; }
        QString socket() const { return runtime + "/DOVRINE-instance"; }
    };
    Home home(const QString& runtime, const QString& data) {
        Home h{root.filePath(runtime), root.filePath(data), root.filePath(data + "-config")};
        QDir().mkpath(h.runtime);
        QFile::setPermissions(h.runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QDir().mkpath(h.config + "/DOVRINE");
        QFile settings(h.config + "/DOVRINE/velmar.json");
        EXPECT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write(R"({"autosaveIntervalSeconds": 10})");
        return h;
    }

    std::vector<std::unique_ptr<QProcess>> copies;
    QProcess& start(const Home& h, const QStringList& files = {}) {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", root.path());
        env.insert("XDG_RUNTIME_DIR", h.runtime);
        env.insert("XDG_DATA_HOME", h.data);
        env.insert("XDG_CONFIG_HOME", h.config);
        env.insert("XDG_CACHE_HOME", h.data + "-cache");
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("SDL_AUDIODRIVER", "dummy");
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(QStringLiteral(VELMAR_PROGRAM), files);
        EXPECT_TRUE(process->waitForStarted(60'000));
        copies.push_back(std::move(process));
        return *copies.back();
    }
    static bool ended(QProcess& process, int seconds = kLimitSeconds) {
        return process.waitForFinished(seconds * 1000);
    }
    static std::string output(QProcess& process) { return process.readAll().toStdString(); }
    void TearDown() override {
        for (auto& process : copies) {
            if (process->state() == QProcess::NotRunning) continue;
            process->kill();
            process->waitForFinished(60'000);
        }
    }

    QString project(const QString& name) {
        PlayoutProject p;
        p.groups = {{.name = name, .clips = {}, .markers = QList<PlayoutProject::MarkerRecord>{}}};
        const QString path = root.filePath(name + ".tavrendek");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(ProjectCrypto::seal(*p.encoded()));
        return path;
    }
    // The running copy autosaves the open project's path beside its autosave.
    static bool opened(const Home& h, const QString& path) {
        return pollUntil(
            [&] { return readAll(h.autosaveFolder() + "/autosave-origin.txt") == path.toUtf8(); });
    }
};

TEST_F(SingleInstanceProcesses, ALaterStartHandsItsProjectToTheRunningCopyAndEnds) {
    const Home h = home("run", "data");
    QProcess& first = start(h);
    ASSERT_TRUE(pollUntil([&] { return QFileInfo::exists(h.socket()); })) << output(first);

    const QString show = project("Show");
    QProcess& second = start(h, {show, root.filePath("missing.mov")});
    ASSERT_TRUE(ended(second)) << output(second);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0) << output(second);
    EXPECT_TRUE(opened(h, show)) << output(first);
    EXPECT_EQ(first.state(), QProcess::Running);

    first.terminate();  // a clean end removes the running copy's autosave and its socket
    ASSERT_TRUE(ended(first));
    EXPECT_FALSE(QFileInfo::exists(h.autosaveFolder() + "/autosave.tavrendek"));
    EXPECT_FALSE(QFileInfo::exists(h.socket()));
}

// Two copies started by hand on one data folder (the hand-over bypassed by separate runtime
// folders): the second neither offers, overwrites nor deletes the first one's autosave.
TEST_F(SingleInstanceProcesses, TwoCopiesNeverTouchEachOthersAutosave) {
    const Home a = home("run-a", "data");
    Home b = a;
    b.runtime = root.filePath("run-b");
    QDir().mkpath(b.runtime);
    QFile::setPermissions(b.runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString autosave = a.autosaveFolder() + "/autosave.tavrendek";
    const QString origin = a.autosaveFolder() + "/autosave-origin.txt";

    QProcess& first = start(a);
    ASSERT_TRUE(pollUntil([&] { return QFileInfo::exists(origin); })) << output(first);
    const QByteArray work = readAll(autosave);
    ASSERT_FALSE(work.isEmpty());

    QProcess& second = start(b, {project("Other")});
    const auto logged = [&] {
        for (const QFileInfo& log : QDir(a.autosaveFolder() + "/Logs").entryInfoList({"*.log"})) {
            if (readAll(log.filePath()).contains("AUTOSAVE  OFF, folder in use: ")) return true;
        }
        return false;
    };
    ASSERT_TRUE(pollUntil(logged)) << output(second);
    second.terminate();
    ASSERT_TRUE(ended(second));
    EXPECT_EQ(readAll(autosave), work);
    EXPECT_EQ(readAll(origin), QByteArray());

    first.terminate();  // the owner still clears its own autosave at a clean end
    ASSERT_TRUE(ended(first));
    EXPECT_FALSE(QFileInfo::exists(autosave));
}

TEST_F(SingleInstanceProcesses, ASocketLeftByAKilledCopyDoesNotBlockTheNextStart) {
    const Home killedHome = home("run", "data-killed");
    QProcess& killed = start(killedHome);
    ASSERT_TRUE(pollUntil([&] { return QFileInfo::exists(killedHome.socket()); }));
    killed.kill();
    ASSERT_TRUE(ended(killed));
    ASSERT_TRUE(QFileInfo::exists(killedHome.socket()));

    Home h = home("run", "data");
    const QString show = project("Show");
    QProcess& next = start(h, {show});
    EXPECT_TRUE(opened(h, show)) << output(next);
    EXPECT_EQ(next.state(), QProcess::Running);

    const QString later = project("Later");
    QProcess& handing = start(h, {later});
    ASSERT_TRUE(ended(handing));
    EXPECT_EQ(handing.exitCode(), 0) << output(handing);
    EXPECT_TRUE(opened(h, later)) << output(next);
    next.terminate();
    EXPECT_TRUE(ended(next));
}

// After a crash the next start asks whether to restore the work. A logout or Ctrl+C while the
// question is up discards nothing: the autosave and its origin file stay as they were, and the
// start after that asks again. A copy's launch has reached the question once its log's start
// line is on disk: the log is written by a timer, and the question's event loop is the first
// that runs.
TEST_F(SingleInstanceProcesses, ASignalDuringTheRestoreQuestionKeepsTheWork) {
    const Home h = home("run", "data");
    const QString autosave = h.autosaveFolder() + "/autosave.tavrendek";
    const QString origin = h.autosaveFolder() + "/autosave-origin.txt";
    const auto starts = [&] {
        qsizetype count = 0;
        for (const QFileInfo& log : QDir(h.autosaveFolder() + "/Logs").entryInfoList({"*.log"}))
            count += readAll(log.filePath()).count("---- DOVRINE 起動 ----");
        return count;
    };
    const QString show = project("Show");
    QProcess& crashed = start(h, {show});
    ASSERT_TRUE(opened(h, show)) << output(crashed);
    ASSERT_TRUE(pollUntil([&] { return starts() == 1; })) << output(crashed);
    crashed.kill();
    ASSERT_TRUE(ended(crashed));
    const QByteArray work = readAll(autosave);
    ASSERT_FALSE(work.isEmpty());

    qsizetype expected = 1;
    for (const int signal : {SIGTERM, SIGINT}) {
        QProcess& next = start(h);
        ASSERT_TRUE(pollUntil([&] { return starts() == expected + 1; })) << output(next);
        ++expected;
        ASSERT_EQ(::kill(static_cast<pid_t>(next.processId()), signal), 0);
        ASSERT_TRUE(ended(next));
        EXPECT_EQ(next.exitStatus(), QProcess::NormalExit) << signal;
        EXPECT_EQ(next.exitCode(), 0) << output(next);
        EXPECT_EQ(readAll(autosave), work) << signal;
        EXPECT_EQ(readAll(origin), show.toUtf8()) << signal;
    }
}

#else
TEST(SingleInstanceProcesses, NeedsTheProgram) {
    GTEST_SKIP() << "the program is not built in this configuration";
}
#endif

}  // namespace
}  // namespace velmar
