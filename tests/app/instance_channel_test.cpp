#include "app/instance_channel.h"
#include "app/app_delegate.h"
#include "app/document_workflow_fixture.h"
#include "models/language_settings.h"
#include "models/localized.h"
#include "models/playout_project.h"
#include "platform/base/exclusive_file_lock.h"
#include "support/fake_clock.h"
#include "support/qt_printers.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalBlocker>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <future>
#include <latch>

namespace velmar {
namespace {

using Start = InstanceChannel::Start;
using Names = QList<QByteArray>;

// Runs the event loop until `done` holds; false when it did not within the limit.
bool spinUntil(const std::function<bool()>& done, int seconds = 60) {
    const QDeadlineTimer deadline(seconds * 1000);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

// A later start in a thread of its own, as a second process would be, while this thread serves
// the running copy's event loop.
Start handOver(const QString& name, const Names& files) {
    auto later = std::async(std::launch::async, [&] {
        InstanceChannel second(name, [] { return false; });
        return second.start(files);
    });
    EXPECT_TRUE(spinUntil(
        [&] { return later.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    return later.get();
}

sockaddr_un addressOf(const QString& name) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(name);
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    return address;
}

// A raw socket bound at `name`.
int boundAt(const QString& name) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const sockaddr_un address = addressOf(name);
    EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    return fd;
}

// A peer that connects without waiting; -1 with errno when the connection was not made.
int peerOf(const QString& name) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
    const sockaddr_un address = addressOf(name);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) return fd;
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
}

bool closedByOtherEnd(int fd) {
    char byte;
    const ssize_t n = ::recv(fd, &byte, 1, MSG_DONTWAIT);
    return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

// A raw start whose request for `show` the running copy (served by this thread) has answered;
// the answer must be the one of acceptance.
int acceptedPeer(const QString& name, const QByteArray& show) {
    const int fd = peerOf(name);
    const QByteArray message = InstanceChannel::encode({show});
    EXPECT_EQ(::write(fd, message.constData(), static_cast<size_t>(message.size())),
              message.size());
    char answer = 0;
    EXPECT_TRUE(spinUntil([&] { return ::recv(fd, &answer, 1, MSG_DONTWAIT) != -1; }));
    EXPECT_EQ(answer, 2);
    return fd;
}

// The whole message of a start, read by a raw running copy.
void readMessage(int fd, const Names& files) {
    QByteArray received;
    char buffer[256];
    ssize_t n;
    while (received.size() < InstanceChannel::encode(files).size() &&
           (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
        received.append(buffer, n);
}

TEST(InstanceChannel, MessagesRoundTripAndStrangeOnesAreRefused) {
    const Names paths{"/shows/Show 1.tavrendek", "/メディア/clip.mov", "/a"};
    const QByteArray message = InstanceChannel::encode(paths);
    bool bad = true;
    EXPECT_EQ(InstanceChannel::decode(message, &bad), paths);
    EXPECT_FALSE(bad);
    for (qsizetype n = 0; n < message.size(); ++n) {
        EXPECT_FALSE(InstanceChannel::decode(message.left(n), &bad).has_value()) << n;
        EXPECT_FALSE(bad) << n;
    }
    EXPECT_EQ(InstanceChannel::decode(InstanceChannel::encode({}), &bad), Names());

    QByteArray tooLong = InstanceChannel::encode({"/a"});
    qToBigEndian(static_cast<quint32>(InstanceChannel::kMaxMessageBytes + 1), tooLong.data() + 8);
    QByteArray unterminated = InstanceChannel::encode({"/a"});
    unterminated.back() = 'x';
    // A message of the single-step exchange, whose running copies opened the files at once.
    const QByteArray singleStep = "DOVRINE1" + message.mid(8);
    for (const QByteArray& strange :
         {QByteArray("GET / HTTP/1.1\r\n"), message + "x", tooLong, unterminated, singleStep}) {
        InstanceChannel::decode(strange, &bad);
        EXPECT_TRUE(bad) << strange.toStdString();
    }
}

// The paths of one message (each with its ending zero) may take exactly the limit.
TEST(InstanceChannel, PathsTakeUpToTheLimitAndNotOneByteMore) {
    const qsizetype limit = InstanceChannel::kMaxMessageBytes;
    ASSERT_EQ(limit, 1 << 20);
    bool bad = true;
    const Names atLimit{"/" + QByteArray(limit - 2, 'a')};
    EXPECT_EQ(InstanceChannel::decode(InstanceChannel::encode(atLimit), &bad), atLimit);
    EXPECT_FALSE(bad);
    InstanceChannel::decode(InstanceChannel::encode({"/" + QByteArray(limit - 1, 'a')}), &bad);
    EXPECT_TRUE(bad);
}

TEST(InstanceChannel, ALaterStartHandsItsFilesOverAbsolute) {
    QTemporaryDir dir;
    const QString name = dir.filePath("instance");
    InstanceChannel running(name, [] { return false; });
    ASSERT_EQ(running.start({}), Start::running);
    ASSERT_TRUE(running.isListening());
    QList<Names> received;
    QObject::connect(&running, &InstanceChannel::filesReceived,
                     [&](const Names& paths) { received << paths; });

    EXPECT_EQ(handOver(name, {"relative/Show.tavrendek", "/abs/clip.mov"}), Start::handedOver);
    ASSERT_TRUE(spinUntil([&] { return !received.isEmpty(); }));
    EXPECT_EQ(received,
              (QList<Names>{
                  {QFile::encodeName(QDir::current().absoluteFilePath("relative/Show.tavrendek")),
                   "/abs/clip.mov"}}));
    EXPECT_EQ(handOver(name, {}), Start::handedOver);
    ASSERT_TRUE(spinUntil([&] { return received.size() == 2; }));
    EXPECT_EQ(received[1], Names());
}

// Only the owner may reach the socket.
TEST(InstanceChannel, TheSocketFileIsTheOwnersAlone) {
    QTemporaryDir dir;
    const QString name = dir.filePath("instance");
    InstanceChannel running(name, [] { return false; });
    ASSERT_EQ(running.start({}), Start::running);
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(name).constData(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0077, 0u);
}

// While a modal question is up the request waits; of two waiting requests the later one is
// delivered, once.
TEST(InstanceChannel, RequestsWaitForTheModalQuestionAndTheLastOneWins) {
    QTemporaryDir dir;
    const QString name = dir.filePath("instance");
    bool busy = true;
    int busyChecks = 0;
    InstanceChannel running(name, [&] {
        ++busyChecks;
        return busy;
    });
    ASSERT_EQ(running.start({}), Start::running);
    QList<Names> received;
    QObject::connect(&running, &InstanceChannel::filesReceived,
                     [&](const Names& paths) { received << paths; });
    EXPECT_EQ(handOver(name, {"/first.tavrendek"}), Start::handedOver);
    EXPECT_EQ(handOver(name, {"/second.tavrendek"}), Start::handedOver);
    const int seen = busyChecks;
    ASSERT_TRUE(spinUntil([&] { return busyChecks >= seen + 3; }));
    EXPECT_TRUE(received.isEmpty());
    busy = false;
    ASSERT_TRUE(spinUntil([&] { return !received.isEmpty(); }));
    EXPECT_EQ(received, (QList<Names>{{"/second.tavrendek"}}));
}

// A socket file nobody listens on (what a killed copy leaves) is replaced by the next start.
TEST(InstanceChannel, ASocketLeftWithoutAListenerDoesNotBlockTheNextStart) {
    QTemporaryDir dir;
    const QString name = dir.filePath("instance");
    ::close(boundAt(name));
    ASSERT_TRUE(QFileInfo::exists(name));

    InstanceChannel running(name, [] { return false; });
    EXPECT_EQ(running.start({"/Show.tavrendek"}), Start::running);
    EXPECT_TRUE(running.isListening());
    Names received;
    QObject::connect(&running, &InstanceChannel::filesReceived,
                     [&](const Names& paths) { received = paths; });
    EXPECT_EQ(handOver(name, {"/Next.tavrendek"}), Start::handedOver);
    EXPECT_TRUE(spinUntil([&] { return !received.isEmpty(); }));
}

// A running copy whose queue of connections is full (out of descriptors, or stalled) is still
// there: its socket stays, and this start does not become a second listener.
TEST(InstanceChannel, AListenerTooBusyToAcceptKeepsItsSocket) {
    QTemporaryDir dir;
    const QString name = dir.filePath("instance");
    const int listener = boundAt(name);
    ASSERT_EQ(::listen(listener, 0), 0);
    std::vector<int> queued;
    int peer;
    while ((peer = peerOf(name)) >= 0 && queued.size() < 64) queued.push_back(peer);
    ASSERT_EQ(errno, EAGAIN);

    InstanceChannel later(name, [] { return false; }, {.connectWaitMs = 100});
    EXPECT_EQ(later.start({"/Show.tavrendek"}), Start::noAnswer);
    EXPECT_EQ(later.problem(),
              localizedFormat("起動中の DOVRINE が %lld 秒以内に接続を受け付けません", {0LL}));
    EXPECT_FALSE(later.isListening());
    struct stat st {};
    EXPECT_EQ(::lstat(QFile::encodeName(name).constData(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    for (int fd : queued) ::close(fd);
    ::close(listener);
}

// A running copy that takes the connection but never answers, or hangs up without answering:
// the start ends without handing over and says why (the message printed as it ends).
TEST(InstanceChannel, ARunningCopyThatDoesNotAnswerIsNamedAsTheProblem) {
    QTemporaryDir dir;
    const QString name = dir.filePath("instance");
    const int listener = boundAt(name);
    ASSERT_EQ(::listen(listener, 4), 0);
    InstanceChannel silent(name, [] { return false; }, {.answerWaitMs = 100});
    EXPECT_EQ(silent.start({"/Show.tavrendek"}), Start::noAnswer);
    EXPECT_TRUE(silent.problem().contains("DOVRINE")) << silent.problem().toStdString();

    ::close(::accept(listener, nullptr, nullptr));  // the silent start's, long gone
    auto later = std::async(std::launch::async, [&] {
        InstanceChannel hungUpOn(name, [] { return false; });
        const Start start = hungUpOn.start({"/Show.tavrendek"});
        return std::pair(start, hungUpOn.problem());
    });
    ::close(::accept(listener, nullptr, nullptr));  // hung up on without an answer
    const auto [start, problem] = later.get();
    EXPECT_EQ(start, Start::noAnswer);
    EXPECT_FALSE(problem.isEmpty());
    ::close(listener);
}

// The running copy opens a request only on the start's confirm, which the start sends only while
// it still waits: a start that went away, or never confirms, leaves the show alone; a confirm
// that arrived before the wait ran out counts, and one sent after it fails at the start.
TEST(InstanceChannel, ARequestIsOpenedOnlyOnTheStartsConfirm) {
    test::FakeClock clock;
    QTemporaryDir dir;
    const QString name = dir.filePath("instance");
    InstanceChannel running(name, [] { return false; },
                            {.confirmWaitSeconds = 5.0, .timers = &clock});
    ASSERT_EQ(running.start({}), Start::running);
    QList<Names> received;
    QObject::connect(&running, &InstanceChannel::filesReceived,
                     [&](const Names& paths) { received << paths; });

    const int confirming = acceptedPeer(name, "/confirmed.tavrendek");
    QCoreApplication::processEvents();
    EXPECT_TRUE(received.isEmpty()) << "opened before the confirm";
    ASSERT_EQ(::write(confirming, "\x03", 1), 1);
    ASSERT_TRUE(spinUntil([&] { return !received.isEmpty(); }));
    ::close(confirming);

    const int gone = acceptedPeer(name, "/gone.tavrendek");
    ::shutdown(gone, SHUT_WR);
    ASSERT_TRUE(spinUntil([&] { return closedByOtherEnd(gone); }));
    ::close(gone);
    const int silent = acceptedPeer(name, "/silent.tavrendek");
    clock.advance(4.9);
    QCoreApplication::processEvents();
    EXPECT_FALSE(closedByOtherEnd(silent));
    clock.advance(0.1);
    ASSERT_TRUE(spinUntil([&] { return closedByOtherEnd(silent); }));
    EXPECT_EQ(::send(silent, "\x03", 1, MSG_NOSIGNAL), -1);
    ::close(silent);
    QCoreApplication::processEvents();
    EXPECT_EQ(received, (QList<Names>{{"/confirmed.tavrendek"}}));

    // Confirmed, but the running copy's wait runs out before it has read the confirm.
    const int late = acceptedPeer(name, "/late.tavrendek");
    ASSERT_EQ(::write(late, "\x03", 1), 1);
    clock.advance(5.0);
    EXPECT_TRUE(spinUntil([&] { return received.size() == 2; }));
    EXPECT_EQ(received.value(1), Names{"/late.tavrendek"});
    ::close(late);
}

// A start ends as soon as its confirm is sent, so the confirm may reach the running copy together
// with the hang-up: it still counts, for the start has reported the hand-over.
TEST(InstanceChannel, AConfirmThatArrivesWithTheHangUpIsTaken) {
    QTemporaryDir dir;
    const QString name = dir.filePath("instance");
    InstanceChannel running(name, [] { return false; });
    ASSERT_EQ(running.start({}), Start::running);
    QList<Names> received;
    QObject::connect(&running, &InstanceChannel::filesReceived,
                     [&](const Names& paths) { received << paths; });
    const int peer = acceptedPeer(name, "/together.tavrendek");
    ASSERT_EQ(::write(peer, "\x03", 1), 1);
    ::close(peer);
    // The running copy's socket takes the confirm in without a readyRead reaching the channel, as
    // when the byte is read in the same pass that meets the hang-up; the hang-up comes next.
    const auto sockets = running.findChildren<QLocalSocket*>();
    ASSERT_EQ(sockets.size(), 1);
    {
        const QSignalBlocker quiet(sockets.front());
        ASSERT_TRUE(sockets.front()->waitForReadyRead(10'000));
    }
    ASSERT_TRUE(spinUntil([&] { return !received.isEmpty(); }, 10));
    EXPECT_EQ(received, (QList<Names>{{"/together.tavrendek"}}));
}

// A start that gave up on a running copy too busy to answer, and said so, does not see its
// files opened when that copy comes round.
TEST(InstanceChannel, AStartThatGaveUpIsNotOpenedWhenTheRunningCopyWakes) {
    QTemporaryDir dir;
    const QString name = dir.filePath("instance");
    InstanceChannel running(name, [] { return false; });
    ASSERT_EQ(running.start({}), Start::running);
    QList<Names> received;
    QObject::connect(&running, &InstanceChannel::filesReceived,
                     [&](const Names& paths) { received << paths; });
    // The running copy's loop is this thread's: it stands still while the start waits.
    auto gaveUp = std::async(std::launch::async, [&] {
        InstanceChannel later(name, [] { return false; }, {.answerWaitMs = 50});
        return later.start({"/gave-up.tavrendek"});
    });
    EXPECT_EQ(gaveUp.get(), Start::noAnswer);
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
    EXPECT_EQ(handOver(name, {"/later.tavrendek"}), Start::handedOver);
    ASSERT_TRUE(spinUntil([&] { return !received.isEmpty(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(received, (QList<Names>{{"/later.tavrendek"}}));
}

// A start reports success only once its confirm is sent: not to a running copy that answers as
// one of the single-step exchange did (1, taken), nor to one that has given up the request (its
// reading side closed) before the confirm.
TEST(InstanceChannel, AStartSucceedsOnlyWhenItsConfirmIsSent) {
    QTemporaryDir dir;
    const QString name = dir.filePath("instance");
    const int listener = boundAt(name);
    ASSERT_EQ(::listen(listener, 4), 0);
    const Names files{"/Show.tavrendek"};
    for (const bool singleStep : {true, false}) {
        auto later = std::async(std::launch::async, [&] {
            InstanceChannel channel(name, [] { return false; });
            const Start start = channel.start(files);
            return std::pair(start, channel.problem());
        });
        const int served = ::accept(listener, nullptr, nullptr);
        readMessage(served, files);
        if (!singleStep) ::shutdown(served, SHUT_RD);
        const char answer = singleStep ? 1 : 2;
        ASSERT_EQ(::write(served, &answer, 1), 1);
        const auto [start, problem] = later.get();
        EXPECT_EQ(start, Start::noAnswer) << singleStep;
        EXPECT_FALSE(problem.isEmpty()) << singleStep;
        ::close(served);
    }
    ::close(listener);
}

TEST(InstanceChannel, TwoStartsAtTheSameMomentLeaveExactlyOneListening) {
    QTemporaryDir dir;
    const QString name = dir.filePath("instance");
    std::latch together(2);
    std::atomic<int> decided{0};
    const auto copy = [&] {
        QEventLoop loop;  // the listener answers the other copy from this thread
        InstanceChannel channel(name, [] { return false; });
        together.arrive_and_wait();
        const Start start = channel.start({});
        const bool listening = channel.isListening();
        ++decided;
        while (decided.load() < 2) loop.processEvents(QEventLoop::AllEvents, 20);
        return std::pair(start, listening);
    };
    auto first = std::async(std::launch::async, copy);
    auto second = std::async(std::launch::async, copy);
    const auto [startA, listensA] = first.get();
    const auto [startB, listensB] = second.get();
    EXPECT_NE(listensA, listensB);
    EXPECT_EQ(listensA ? startA : startB, Start::running);
    EXPECT_EQ(listensA ? startB : startA, Start::handedOver);
}

// A start kept from the decision (another start holds its lock) runs alone and says why.
TEST(InstanceChannel, AHeldDecisionLockIsWaitedForOnlySoLong) {
    QTemporaryDir dir;
    const QString name = dir.filePath("instance");
    ExclusiveFileLock held;
    ASSERT_TRUE(held.tryLock(name + ".lock"));
    InstanceChannel channel(name, [] { return false; }, {.lockWaitMs = 0});
    EXPECT_EQ(channel.start({"/Show.tavrendek"}), Start::running);
    EXPECT_FALSE(channel.isListening());
    EXPECT_FALSE(channel.problem().isEmpty());
}

// The fallback folder is made owner-only; one that another user owns, that others may enter,
// or that is a link is refused, and the start then runs without the hand-off.
TEST(InstanceChannel, AFallbackFolderThatIsNotOursAloneIsRefused) {
    QTemporaryDir temp;
    const uid_t me = ::getuid();
    const auto folder = [&](uid_t owner) {
        return temp.filePath("DOVRINE-" + QString::number(owner));
    };
    const auto made = InstanceChannel::locate({}, temp.path(), me);
    EXPECT_EQ(made.serverName, folder(me) + "/DOVRINE-instance");
    EXPECT_TRUE(made.problem.isEmpty());
    struct stat st {};
    ASSERT_EQ(::lstat(QFile::encodeName(folder(me)).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // Made by this user, so owned by another than the one asked for.
    EXPECT_TRUE(InstanceChannel::locate({}, temp.path(), me + 1).serverName.isEmpty());
    ASSERT_EQ(::chmod(QFile::encodeName(folder(me)).constData(), 0777), 0);
    // The runtime folder is passed over for the same reason.
    const auto open = InstanceChannel::locate(QFile::encodeName(folder(me)), temp.path(), me);
    EXPECT_TRUE(open.serverName.isEmpty());
    EXPECT_TRUE(open.problem.contains(folder(me))) << open.problem.toStdString();
    ASSERT_TRUE(QFile::link(temp.path(), folder(me + 2)));
    EXPECT_TRUE(InstanceChannel::locate({}, temp.path(), me + 2).serverName.isEmpty());

    InstanceChannel alone(open.serverName, [] { return false; });
    EXPECT_EQ(alone.start({"/Show.tavrendek"}), Start::running);
    EXPECT_FALSE(alone.isListening());
}

// Peers that send part of a message and stop hold a connection only for the message wait, and
// no more than the cap are held at once.
TEST(InstanceChannel, StalledSendersAreDroppedAndTheConnectionCapHolds) {
    test::FakeClock clock;
    QTemporaryDir dir;
    const QString name = dir.filePath("instance");
    InstanceChannel running(name, [] { return false; },
                            {.messageWaitSeconds = 5.0, .maxConnections = 2, .timers = &clock});
    ASSERT_EQ(running.start({}), Start::running);
    const int stalled[] = {peerOf(name), peerOf(name)};
    for (int fd : stalled) {
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, "DOVRINE2", 8), 8);
    }
    const int overCap = peerOf(name);
    ASSERT_GE(overCap, 0);
    ASSERT_TRUE(spinUntil([&] { return closedByOtherEnd(overCap); }));
    for (int fd : stalled) EXPECT_FALSE(closedByOtherEnd(fd));

    clock.advance(4.9);
    QCoreApplication::processEvents();
    for (int fd : stalled) EXPECT_FALSE(closedByOtherEnd(fd));
    clock.advance(0.1);
    EXPECT_TRUE(
        spinUntil([&] { return closedByOtherEnd(stalled[0]) && closedByOtherEnd(stalled[1]); }));
    EXPECT_EQ(handOver(name, {"/Show.tavrendek"}), Start::handedOver);
    for (int fd : {stalled[0], stalled[1], overCap}) ::close(fd);
}

// A start that finds every connection of the running copy taken is closed at once; it says so in
// the program's own words, in the language in force, not in the toolkit's.
TEST(InstanceChannel, AStartRefusedByAFullRunningCopySaysSoInTheProgramsWords) {
    test::FakeClock clock;
    QTemporaryDir dir;
    const QString name = dir.filePath("instance");
    InstanceChannel running(name, [] { return false; }, {.maxConnections = 1, .timers = &clock});
    ASSERT_EQ(running.start({}), Start::running);
    const int taken = peerOf(name);
    ASSERT_GE(taken, 0);
    const std::pair<AppLanguage, QString> expected[] = {
        {AppLanguage::ja, "起動中の DOVRINE がファイルを受け取らずに接続を閉じました"},
        {AppLanguage::en, "The running DOVRINE closed the connection without taking the files"}};
    for (const auto& [language, text] : expected) {
        LanguageSettings::shared().setLanguage(language);
        auto later = std::async(std::launch::async, [&] {
            InstanceChannel refused(name, [] { return false; });
            const Start start = refused.start({"/Show.tavrendek"});
            return std::pair(start, refused.problem());
        });
        ASSERT_TRUE(spinUntil(
            [&] { return later.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
        const auto [start, problem] = later.get();
        EXPECT_EQ(start, Start::noAnswer);
        EXPECT_EQ(problem, text);
    }
    LanguageSettings::shared().setLanguage(AppLanguage::ja);
    ::close(taken);
}

// A name that is not UTF-8 crosses as its bytes, and the project it names opens; having no name
// the toolkit can write to, it is saved where the operator chooses.
TEST(InstanceChannel, ANameThatIsNotUtf8ArrivesIntact) {
    QTemporaryDir dir;
    const QString name = dir.filePath("instance");
    InstanceChannel running(name, [] { return false; });
    ASSERT_EQ(running.start({}), Start::running);
    Names received;
    QObject::connect(&running, &InstanceChannel::filesReceived,
                     [&](const Names& paths) { received = paths; });
    const QByteArray show = QFile::encodeName(dir.path()) +
                            "/Sh\xff"
                            "ow.tavrendek";
    EXPECT_EQ(handOver(name, {show}), Start::handedOver);
    ASSERT_TRUE(spinUntil([&] { return !received.isEmpty(); }));
    EXPECT_EQ(received, Names{show});
}

struct HandedOverProject : test::DocumentWorkflowFixture {};

TEST_F(HandedOverProject, AProjectWhoseNameIsNotUtf8Opens) {
    PlayoutProject project;
    project.groups = {{.name = "Opened", .markers = QList<PlayoutProject::MarkerRecord>{}}};
    const QByteArray sealed = project.sealedFileData();
    const QByteArray show = QFile::encodeName(home) +
                            "/Sh\xff"
                            "ow.tavrendek";
    const int fd = ::open(show.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, sealed.constData(), static_cast<size_t>(sealed.size())), sealed.size());
    ::close(fd);

    QStringList told;
    AppDelegate::Steps steps;
    steps.showStatus = [&](const QString& text) { told << text; };
    steps.openProjectFromFinder = [&](const QUrl& url) { workflow->openProject(url); };
    AppDelegate(steps).openNativeFiles({show});
    finishBackground();
    EXPECT_EQ(rundown().groups().value(0).name, "Opened") << host.statusLine.toStdString();
    EXPECT_TRUE(host.url.isEmpty());
    EXPECT_TRUE(host.statusLine.endsWith("Sh\\xFFow.tavrendek")) << host.statusLine.toStdString();
    ASSERT_EQ(told.size(), 1);
    EXPECT_TRUE(told[0].contains(home + "/Sh\\xFFow.tavrendek")) << told[0].toStdString();

    // One that cannot be opened is named by the name given, not by the descriptor read.
    const QByteArray pipe = QFile::encodeName(home) + "/P\xffipe.tavrendek";
    ASSERT_EQ(::mkfifo(pipe.constData(), 0600), 0);
    AppDelegate(steps).openNativeFiles({pipe});
    finishBackground();
    EXPECT_TRUE(host.statusLine.contains(home + "/P\\xFFipe.tavrendek"))
        << host.statusLine.toStdString();
    EXPECT_FALSE(host.statusLine.contains("/proc/")) << host.statusLine.toStdString();
}

}  // namespace
}  // namespace velmar
