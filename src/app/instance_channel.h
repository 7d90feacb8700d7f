#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QLocalServer;
class QLocalSocket;

namespace velmar {

// One running copy per user. The first copy listens on a local socket in the user's runtime
// folder; a later start connects to it, hands over the files it was given and ends. The running
// copy passes them on as an open request once no modal box or panel is up, so a request never
// lands inside another question; while it waits, a later request replaces an earlier one.
//
// A socket file left by a copy that was killed answers no connection: the next start removes it
// and listens in its place. The choice between handing over and listening is made under a lock
// beside the socket, so two copies started together never both listen or both hand over.
//
// Message: the 8 bytes "DOVRINE1", a 4-byte big-endian length, then the absolute paths in UTF-8,
// each ended by a zero byte. The running copy answers one byte once it has taken the request.
class InstanceChannel : public QObject {
    Q_OBJECT
  public:
    enum class Start {
        running,     // this process is the running copy (listening, or alone when it cannot)
        handedOver,  // the running copy took the files; this process should end
        noAnswer,    // a running copy exists but did not take the files
    };

    static constexpr int kMaxMessageBytes = 1 << 20;
    static constexpr int kAnswerWaitMs = 30'000;

    // The socket "DOVRINE-instance" in the user's runtime folder ($XDG_RUNTIME_DIR).
    static QString defaultServerName();

    // busy: whether a request must wait (default: a modal window is up).
    explicit InstanceChannel(QString serverName, std::function<bool()> busy = {},
                             QObject* parent = nullptr);
    ~InstanceChannel() override;

    // Hands `files` (made absolute against the working folder) to a running copy, or becomes
    // the running copy. Blocks for at most kAnswerWaitMs.
    Start start(const QStringList& files);
    bool isListening() const;

    // Encodes and decodes the message (decode: none while incomplete, empty with `bad` set when
    // it is not a message of ours or is too long).
    static QByteArray encode(const QStringList& paths);
    static std::optional<QStringList> decode(const QByteArray& data, bool* bad);

  signals:
    // Files handed over by a later start, absolute paths in the order given.
    void filesReceived(const QStringList& paths);

  private:
    Start handOver(QLocalSocket& socket, const QStringList& files);
    bool listen();
    void accept();
    void deliverWhenIdle();

    QString serverName_;
    std::function<bool()> busy_;
    QLocalServer* server_ = nullptr;
    std::optional<QStringList> pending_;
    bool deliveryScheduled_ = false;
};

}  // namespace velmar
