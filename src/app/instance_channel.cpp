#include "app/instance_channel.h"

#include "models/localized.h"
#include "models/system_error_text.h"
#include "platform/base/exclusive_file_lock.h"
#include "platform/base/native_file_name.h"
#include "platform/base/private_directory.h"
#include "platform/base/timer.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QtEndian>

#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>
#include <utility>

namespace velmar {

namespace {

constexpr char kMagic[] = "DOVRINE2";
constexpr qsizetype kMagicSize = sizeof(kMagic) - 1;
constexpr qsizetype kHeaderSize = kMagicSize + 4;
// Neither is 1, the answer of the single-step exchange: a start of that kind takes this answer
// for a bad one instead of for success.
constexpr char kAccepted = 2;
constexpr char kConfirmed = 3;
constexpr int kBusyRetryMs = 250;
constexpr char kSocketName[] = "/DOVRINE-instance";

// Only this user's own processes may hand files over.
bool peerIsThisUser(qintptr descriptor) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
           peer.uid == ::getuid();
}

}  // namespace

struct InstanceChannel::Connection {
    QByteArray received;
    std::unique_ptr<Timer> deadline;
    std::optional<QList<QByteArray>> accepted;  // the request, once answered: awaits the confirm
};

InstanceChannel::Location InstanceChannel::defaultLocation() {
    return locate(qgetenv("XDG_RUNTIME_DIR"), QDir::tempPath(), ::getuid());
}

InstanceChannel::Location InstanceChannel::locate(const QByteArray& runtimeFolder,
                                                  const QString& temporaryFolder, uid_t owner) {
    if (runtimeFolder.startsWith('/')) {
        const QString folder = QFile::decodeName(runtimeFolder);
        if (PrivateDirectory::ensure(folder, owner) == PrivateDirectory::Result::ready)
            return {folder + kSocketName, {}};
    }
    const QString folder = temporaryFolder + QStringLiteral("/DOVRINE-") + QString::number(owner);
    QString error;
    switch (PrivateDirectory::ensure(folder, owner, &error)) {
        case PrivateDirectory::Result::ready:
            return {folder + kSocketName, {}};
        case PrivateDirectory::Result::unusable:
            return {{},
                    localizedFormat("フォルダ %@ を使えないため、受け渡しなしで起動しました: %@",
                                    {folder, error})};
        case PrivateDirectory::Result::notDirectory:
        case PrivateDirectory::Result::notOwned:
        case PrivateDirectory::Result::openToOthers:
            break;
    }
    return {
        {},
        localizedFormat("フォルダ %@ が自分専用でないため、受け渡しなしで起動しました", {folder})};
}

InstanceChannel::InstanceChannel(QString serverName, std::function<bool()> busy, QObject* parent)
    : InstanceChannel(std::move(serverName), std::move(busy), Limits{}, parent) {}

InstanceChannel::InstanceChannel(QString serverName, std::function<bool()> busy, Limits limits,
                                 QObject* parent)
    : QObject(parent), serverName_(std::move(serverName)), busy_(std::move(busy)), limits_(limits) {
    if (!busy_) busy_ = [] { return QApplication::activeModalWidget() != nullptr; };
    if (!limits_.timers) limits_.timers = &TimerFactory::system();
}

InstanceChannel::~InstanceChannel() {
    // The sockets go with the server, after this object's own parts: none may call back.
    for (const auto& entry : connections_) entry.first->disconnect(this);
}

bool InstanceChannel::isListening() const {
    return server_ != nullptr && server_->isListening();
}

QByteArray InstanceChannel::encode(const QList<QByteArray>& paths) {
    QByteArray body;
    for (const QByteArray& path : paths) body += path + '\0';
    QByteArray message(kMagic, kMagicSize);
    char length[4];
    qToBigEndian(static_cast<quint32>(body.size()), length);
    message.append(length, 4);
    return message + body;
}

std::optional<QList<QByteArray>> InstanceChannel::decode(const QByteArray& data, bool* bad) {
    *bad = false;
    const qsizetype known = std::min(data.size(), kMagicSize);
    if (data.left(known) != QByteArray(kMagic, known)) {
        *bad = true;
        return QList<QByteArray>();
    }
    if (data.size() < kHeaderSize) return std::nullopt;
    const quint32 length = qFromBigEndian<quint32>(data.constData() + kMagicSize);
    if (length > static_cast<quint32>(kMaxMessageBytes) || data.size() > kHeaderSize + length) {
        *bad = true;
        return QList<QByteArray>();
    }
    if (data.size() < kHeaderSize + length) return std::nullopt;
    const QByteArray body = data.mid(kHeaderSize);
    if (!body.isEmpty() && !body.endsWith('\0')) {
        *bad = true;
        return QList<QByteArray>();
    }
    QList<QByteArray> paths;
    for (const QByteArray& part : body.chopped(body.isEmpty() ? 0 : 1).split('\0'))
        if (!part.isEmpty()) paths << part;
    return paths;
}

InstanceChannel::Start InstanceChannel::start(const QList<QByteArray>& files) {
    QList<QByteArray> absolute;
    for (const QByteArray& file : files) absolute << NativeFileName::absolute(file);

    if (serverName_.isEmpty()) return Start::running;
    // Held while deciding, so that of two copies started together one listens and the other
    // finds it. A start that cannot have it in time runs on its own rather than wait for ever.
    ExclusiveFileLock deciding;
    if (!deciding.lockWithin(serverName_ + QStringLiteral(".lock"), limits_.lockWaitMs)) {
        const auto seconds = static_cast<long long>(limits_.lockWaitMs / 1000);
        problem_ =
            deciding.outcome() == ExclusiveFileLock::Outcome::busy
                ? localizedFormat(
                      "別の起動の判定が %lld 秒で終わらないため、受け渡しなしで起動しました",
                      {FormatArg(seconds)})
                : localizedFormat("起動判定のロックを取れないため、受け渡しなしで起動しました: %@",
                                  {systemErrorText(deciding.errorCode())});
        return Start::running;
    }
    QLocalSocket socket;
    socket.connectToServer(serverName_);
    if (socket.waitForConnected(limits_.connectWaitMs)) {
        deciding.release();
        return handOver(socket, absolute);
    }
    // Only a socket file nobody listens on (or none at all) is taken over. A copy too busy to
    // accept in time still owns its socket: removing it would let every later start run as
    // another copy.
    const QLocalSocket::LocalSocketError error = socket.error();
    if (error != QLocalSocket::ServerNotFoundError &&
        error != QLocalSocket::ConnectionRefusedError) {
        // A copy too busy to accept leaves the socket still connecting when the wait runs out,
        // with no error of the toolkit's to tell: said in our words, as the answer's wait is.
        const auto seconds = static_cast<long long>(limits_.connectWaitMs / 1000);
        problem_ =
            error == QLocalSocket::UnknownSocketError || error == QLocalSocket::SocketTimeoutError
                ? localizedFormat("起動中の DOVRINE が %lld 秒以内に接続を受け付けません",
                                  {FormatArg(seconds)})
                : socket.errorString();
        socket.abort();
        return Start::noAnswer;
    }
    if (!listen()) {
        problem_ = localizedFormat(
            "%@ で待ち受けできないため、後のファイルは別の DOVRINE で開きます", {serverName_});
    }
    return Start::running;
}

InstanceChannel::Start InstanceChannel::handOver(QLocalSocket& socket,
                                                 const QList<QByteArray>& files) {
    const QDeadlineTimer deadline(limits_.answerWaitMs);
    // The reason is printed as this start ends: a copy that took the connection and then gave
    // no answer in time, or hung up, is named as such.
    const auto timedOut = [&] {
        problem_ =
            localizedFormat("起動中の DOVRINE が %lld 秒以内に答えません",
                            {FormatArg(static_cast<long long>(limits_.answerWaitMs / 1000))});
        return Start::noAnswer;
    };
    // A copy whose connections are all taken closes a new one at once, and so does one that
    // refuses the message (another version's): said in our words, not the toolkit's.
    const auto noAnswer = [&] {
        if (socket.error() == QLocalSocket::SocketTimeoutError) return timedOut();
        problem_ = socket.error() == QLocalSocket::PeerClosedError
                       ? localized("起動中の DOVRINE がファイルを受け取らずに接続を閉じました")
                       : socket.errorString();
        return Start::noAnswer;
    };
    socket.write(encode(files));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
            return noAnswer();
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) return noAnswer();
    }
    char answer = 0;
    socket.getChar(&answer);
    if (answer != kAccepted) {
        problem_ = localized("起動中の DOVRINE の答えが不正です");
        return Start::noAnswer;
    }
    // The running copy opens the files only on this confirm, and this start reports success only
    // once it is sent: a start past its deadline sends none. The byte goes straight to the socket
    // (nothing of ours is queued before it), so that its fate is known here: a running copy that
    // has given up has closed its reading side, and the send fails.
    if (deadline.hasExpired()) return timedOut();
    if (::send(static_cast<int>(socket.socketDescriptor()), &kConfirmed, 1, MSG_NOSIGNAL) != 1) {
        problem_ = qt_error_string(errno);
        return Start::noAnswer;
    }
    return Start::handedOver;
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
        if (static_cast<int>(connections_.size()) >= limits_.maxConnections ||
            !peerIsThisUser(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto connection = std::make_unique<Connection>();
        connection->deadline = limits_.timers->makeTimer([this, socket] { expire(socket); });
        connection->deadline->start(limits_.messageWaitSeconds, false);
        connections_.emplace(socket, std::move(connection));
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        // A confirm may come together with the hang-up (the start ends as soon as it is sent).
        connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
            read(socket);
            drop(socket);
        });
        if (socket->bytesAvailable() > 0) read(socket);
    }
}

void InstanceChannel::read(QLocalSocket* socket) {
    const auto found = connections_.find(socket);
    if (found == connections_.end()) return;
    Connection& connection = *found->second;
    connection.received.append(socket->readAll());
    if (connection.accepted) {
        // Exactly the confirm byte: anything else, or more, is not a start of ours.
        if (connection.received.isEmpty()) return;
        if (connection.received == QByteArray(1, kConfirmed))
            take(socket);
        else
            drop(socket);
        return;
    }
    bool bad = false;
    auto paths = decode(connection.received, &bad);
    if (bad) {
        drop(socket);
        return;
    }
    if (!paths) return;
    connection.received.clear();
    connection.accepted = std::move(paths);
    connection.deadline->start(limits_.confirmWaitSeconds, false);
    // The answer to a start that has gone fails here and closes the connection: the request
    // is then dropped unopened. Nothing of `connection` is touched after the write.
    socket->write(&kAccepted, 1);
    socket->flush();
}

// A peer out of time. One whose request was accepted may have sent its confirm just now: the
// reading side is closed first, so that a confirm sent from then on fails at the sender, and what
// came before is looked at once more. The start reported success exactly when it is found.
void InstanceChannel::expire(QLocalSocket* socket) {
    const auto found = connections_.find(socket);
    if (found == connections_.end()) return;
    Connection& connection = *found->second;
    if (connection.accepted) {
        const int descriptor = static_cast<int>(socket->socketDescriptor());
        ::shutdown(descriptor, SHUT_RD);
        connection.received.append(socket->readAll());
        char rest[2];
        const ssize_t n = ::recv(descriptor, rest, sizeof rest, MSG_DONTWAIT);
        if (n > 0) connection.received.append(rest, n);
        if (connection.received == QByteArray(1, kConfirmed)) {
            take(socket);
            return;
        }
    }
    drop(socket);
}

void InstanceChannel::take(QLocalSocket* socket) {
    const auto found = connections_.find(socket);
    if (found == connections_.end() || !found->second->accepted) return;
    pending_ = std::move(*found->second->accepted);
    drop(socket);
    deliverWhenIdle();
}

void InstanceChannel::drop(QLocalSocket* socket) {
    auto node = connections_.extract(socket);
    if (node.empty()) return;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    // The deadline may be what called: it is destroyed once the event loop is back.
    QTimer::singleShot(0, this, [gone = std::shared_ptr<Connection>(std::move(node.mapped()))] {});
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
