#include "app/instance_channel.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <cstring>
#include <future>

namespace velmar {
namespace {

using Start = InstanceChannel::Start;

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
Start handOver(const QString& name, const QStringList& files) {
    auto later = std::async(std::launch::async, [&] {
        InstanceChannel second(name, [] { return false; });
        return second.start(files);
    });
    EXPECT_TRUE(spinUntil(
        [&] { return later.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    return later.get();
}

TEST(InstanceChannel, MessagesRoundTripAndStrangeOnesAreRefused) {
    const QStringList paths{"/shows/Show 1.tavrendek", "/メディア/clip.mov", "/a"};
    const QByteArray message = InstanceChannel::encode(paths);
    bool bad = true;
    EXPECT_EQ(InstanceChannel::decode(message, &bad), paths);
    EXPECT_FALSE(bad);
    for (qsizetype n = 0; n < message.size(); ++n) {
        EXPECT_FALSE(InstanceChannel::decode(message.left(n), &bad).has_value()) << n;
        EXPECT_FALSE(bad) << n;
    }
    EXPECT_EQ(InstanceChannel::decode(InstanceChannel::encode({}), &bad), QStringList());

    QByteArray tooLong = InstanceChannel::encode({"/a"});
    qToBigEndian(static_cast<quint32>(InstanceChannel::kMaxMessageBytes + 1), tooLong.data() + 8);
    QByteArray unterminated = InstanceChannel::encode({"/a"});
    unterminated.back() = 'x';
    for (const QByteArray& strange :
         {QByteArray("GET / HTTP/1.1\r\n"), message + "x", tooLong, unterminated}) {
        InstanceChannel::decode(strange, &bad);
        EXPECT_TRUE(bad) << strange.toStdString();
    }
}

TEST(InstanceChannel, ALaterStartHandsItsFilesOverAbsolute) {
    QTemporaryDir dir;
    const QString name = dir.filePath("instance");
    InstanceChannel running(name, [] { return false; });
    ASSERT_EQ(running.start({}), Start::running);
    ASSERT_TRUE(running.isListening());
    QList<QStringList> received;
    QObject::connect(&running, &InstanceChannel::filesReceived,
                     [&](const QStringList& paths) { received << paths; });

    EXPECT_EQ(handOver(name, {"relative/Show.tavrendek", "/abs/clip.mov"}), Start::handedOver);
    ASSERT_TRUE(spinUntil([&] { return !received.isEmpty(); }));
    EXPECT_EQ(received,
              (QList<QStringList>{
                  {QDir::current().absoluteFilePath("relative/Show.tavrendek"), "/abs/clip.mov"}}));
    EXPECT_EQ(handOver(name, {}), Start::handedOver);
    ASSERT_TRUE(spinUntil([&] { return received.size() == 2; }));
    EXPECT_EQ(received[1], QStringList());
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
    QList<QStringList> received;
    QObject::connect(&running, &InstanceChannel::filesReceived,
                     [&](const QStringList& paths) { received << paths; });
    EXPECT_EQ(handOver(name, {"/first.tavrendek"}), Start::handedOver);
    EXPECT_EQ(handOver(name, {"/second.tavrendek"}), Start::handedOver);
    const int seen = busyChecks;
    ASSERT_TRUE(spinUntil([&] { return busyChecks >= seen + 3; }));
    EXPECT_TRUE(received.isEmpty());
    busy = false;
    ASSERT_TRUE(spinUntil([&] { return !received.isEmpty(); }));
    EXPECT_EQ(received, (QList<QStringList>{{"/second.tavrendek"}}));
}

// A socket file nobody listens on (what a killed copy leaves) is replaced by the next start.
TEST(InstanceChannel, ASocketLeftWithoutAListenerDoesNotBlockTheNextStart) {
    QTemporaryDir dir;
    const QString name = dir.filePath("instance");
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray path = QFile::encodeName(name);
    std::memcpy(address.sun_path, path.constData(), static_cast<size_t>(path.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
    ASSERT_TRUE(QFileInfo::exists(name));

    InstanceChannel running(name, [] { return false; });
    EXPECT_EQ(running.start({"/Show.tavrendek"}), Start::running);
    EXPECT_TRUE(running.isListening());
    QStringList received;
    QObject::connect(&running, &InstanceChannel::filesReceived,
                     [&](const QStringList& paths) { received = paths; });
    EXPECT_EQ(handOver(name, {"/Next.tavrendek"}), Start::handedOver);
    EXPECT_TRUE(spinUntil([&] { return !received.isEmpty(); }));
}

}  // namespace
}  // namespace velmar
