#include "app/instance_channel.h"

#include "platform/base/exclusive_file_lock.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QTimer>
#include <QtEndian>

#include <unistd.h>
#include <memory>
#include <utility>

namespace velmar {

namespace {

constexpr char kMagic[] = "DOVRINE1";
constexpr qsizetype kMagicSize = sizeof(kMagic) - 1;
constexpr qsizetype kHeaderSize = kMagicSize + 4;
constexpr char kTaken = 1;
constexpr int kConnectWaitMs = 5'000;
constexpr int kBusyRetryMs = 250;

}  // namespace

QString InstanceChannel::defaultServerName() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        return QDir::tempPath() + QStringLiteral("/DOVRINE-instance-") + QString::number(getuid());
    return folder + QStringLiteral("/DOVRINE-instance");
}

InstanceChannel::InstanceChannel(QString serverName, std::function<bool()> busy, QObject* parent)
    : QObject(parent), serverName_(std::move(serverName)), busy_(std::move(busy)) {
    if (!busy_) busy_ = [] { return QApplication::activeModalWidget() != nullptr; };
}

InstanceChannel::~InstanceChannel() = default;

bool InstanceChannel::isListening() const {
    return server_ != nullptr && server_->isListening();
}

QByteArray InstanceChannel::encode(const QStringList& paths) {
    QByteArray body;
    for (const QString& path : paths) body += path.toUtf8() + '\0';
    QByteArray message(kMagic, kMagicSize);
    char length[4];
    qToBigEndian(static_cast<quint32>(body.size()), length);
    message.append(length, 4);
    return message + body;
}

std::optional<QStringList> InstanceChannel::decode(const QByteArray& data, bool* bad) {
    *bad = false;
    const qsizetype known = std::min(data.size(), kMagicSize);
    if (data.left(known) != QByteArray(kMagic, known)) {
        *bad = true;
        return QStringList();
    }
    if (data.size() < kHeaderSize) return std::nullopt;
    const quint32 length = qFromBigEndian<quint32>(data.constData() + kMagicSize);
    if (length > static_cast<quint32>(kMaxMessageBytes) || data.size() > kHeaderSize + length) {
        *bad = true;
        return QStringList();
    }
    if (data.size() < kHeaderSize + length) return std::nullopt;
    const QByteArray body = data.mid(kHeaderSize);
    if (!body.isEmpty() && !body.endsWith('\0')) {
        *bad = true;
        return QStringList();
    }
    QStringList paths;
    for (const QByteArray& part : body.chopped(body.isEmpty() ? 0 : 1).split('\0'))
        if (!part.isEmpty()) paths << QString::fromUtf8(part);
    return paths;
}

InstanceChannel::Start InstanceChannel::start(const QStringList& files) {
    QStringList absolute;
    for (const QString& file : files) absolute << QFileInfo(file).absoluteFilePath();

    // Held while deciding, so that of two copies started together one listens and the other
    // finds it. Without the lock file (no runtime folder) the decision is made unguarded.
    ExclusiveFileLock deciding;
    deciding.lockWithin(serverName_ + QStringLiteral(".lock"), kConnectWaitMs);
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    if (socket.waitForConnected(kConnectWaitMs)) {
        deciding.release();
        return handOver(socket, absolute);
    }
    if (!listen()) {
        qWarning("DOVRINE: cannot listen on %s; files from later starts open other copies",
                 qPrintable(serverName_));
    }
    return Start::running;
}

InstanceChannel::Start InstanceChannel::handOver(QLocalSocket& socket, const QStringList& files) {
    const QDeadlineTimer deadline(kAnswerWaitMs);
    socket.write(encode(files));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            return Start::noAnswer;
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return Start::noAnswer;
    }
    char answer = 0;
    socket.getChar(&answer);
    return answer == kTaken ? Start::handedOver : Start::noAnswer;
}

bool InstanceChannel::listen() {
    // Nobody answered: a socket file still there was left by a copy that ended without closing
    // it (a crash or kill). Only the process holding the decision lock gets here.
    QLocalServer::removeServer(serverName_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    connect(server_, &QLocalServer::newConnection, this, &InstanceChannel::accept);
    return server_->listen(serverName_);
}

void InstanceChannel::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        auto received = std::make_shared<QByteArray>();
        const auto read = [this, socket, received] {
            received->append(socket->readAll());
            bool bad = false;
            const auto paths = decode(*received, &bad);
            if (bad) {
                socket->abort();
                return;
            }
            if (!paths) return;
            received->clear();
            socket->write(&kTaken, 1);
            socket->flush();
            socket->disconnectFromServer();
            pending_ = *paths;
            deliverWhenIdle();
        };
        connect(socket, &QLocalSocket::readyRead, this, read);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (socket->bytesAvailable() > 0) read();
    }
}

// Delivered from the event loop, never from inside the socket's handler, and only once no
// modal window is up.
void InstanceChannel::deliverWhenIdle() {
    if (deliveryScheduled_) return;
    deliveryScheduled_ = true;
    QTimer::singleShot(busy_() ? kBusyRetryMs : 0, this, [this] {
        deliveryScheduled_ = false;
        if (!pending_) return;
        if (busy_()) {
            deliverWhenIdle();
            return;
        }
        emit filesReceived(*std::exchange(pending_, std::nullopt));
    });
}

}  // namespace velmar
