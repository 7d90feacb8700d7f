#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <sys/types.h>
#include <functional>
#include <map>
#include <memory>
#include <optional>

class QLocalServer;
class QLocalSocket;

namespace velmar {

class Timer;
class TimerFactory;

// One running copy per user. The first copy listens on a local socket in a folder only this user
// can enter; a later start connects to it, hands over the files it was given and ends. The running
// copy passes them on as an open request once no modal box or panel is up, so a request never
// lands inside another question; while it waits, a later request replaces an earlier one.
//
// A socket file that refuses connections (left by a copy that was killed) is removed by the next
// start, which listens in its place; one whose listener is only slow to accept is left alone. The
// choice between handing over and listening is made under a lock beside the socket, so two copies
// started together never both listen or both hand over; the lock is waited for only so long.
//
// The listener takes connections from this user only, a few at a time, and drops a peer that has
// not sent its whole message within a few seconds.
//
// The hand-over is all or nothing: the running copy opens the files only when the later start
// will hear that they were taken, so a start that gave up waiting (and said so) never sees its
// files opened after all. The later start sends the message; the running copy answers one byte
// (accepted); the later start, if it is still waiting, answers one byte (confirmed) and reports
// success once that byte is sent; the running copy acts only on reading it. A peer that goes
// away, or does not confirm within a few seconds, leaves the running copy as it was.
//
// Message: the 8 bytes "DOVRINE2", a 4-byte big-endian length, then the absolute paths as the
// file system's bytes, each ended by a zero byte. Copies of the single-step exchange (which used
// "DOVRINE1" and answered 1) and of this one refuse each other's messages and answers, so neither
// reports or opens anything across versions.
class InstanceChannel : public QObject {
    Q_OBJECT
  public:
    enum class Start {
        running,     // this process is the running copy (listening, or alone when it cannot)
        handedOver,  // the running copy took the files; this process should end
        noAnswer,    // a running copy exists but did not take the files
    };

    // The most the paths of one message may take, in bytes (the length field's limit).
    static constexpr int kMaxMessageBytes = 1 << 20;

    struct Limits {
        int lockWaitMs = 5'000;           // for the decision lock held by another start
        int connectWaitMs = 5'000;        // for the running copy to take the connection
        int answerWaitMs = 30'000;        // for the running copy to answer
        double messageWaitSeconds = 5.0;  // for a peer to send its whole message
        double confirmWaitSeconds = 5.0;  // for a peer to confirm, once its message is accepted
        int maxConnections = 4;           // peers served at once; more are closed at once
        TimerFactory* timers = nullptr;   // the system's timers when null
    };

    // Where the socket is: `serverName` empty, and `problem` saying why, when no folder fit.
    struct Location {
        QString serverName;
        QString problem;
    };
    // "DOVRINE-instance" in the user's runtime folder ($XDG_RUNTIME_DIR) when that is the user's
    // alone, else in a folder "DOVRINE-<uid>" of the temporary folder made the same way.
    static Location defaultLocation();
    static Location locate(const QByteArray& runtimeFolder, const QString& temporaryFolder,
                           uid_t owner);

    // busy: whether a request must wait (default: a modal window is up). An empty server name
    // runs without the hand-off.
    explicit InstanceChannel(QString serverName, std::function<bool()> busy = {},
                             QObject* parent = nullptr);
    InstanceChannel(QString serverName, std::function<bool()> busy, Limits limits,
                    QObject* parent = nullptr);
    ~InstanceChannel() override;

    // Hands `files` (file names as given, made absolute against the working folder) to a
    // running copy, or becomes the running copy.
    Start start(const QList<QByteArray>& files);
    bool isListening() const;
    // Why this copy runs without the hand-off, or why the running copy did not answer; empty
    // when all went well.
    const QString& problem() const { return problem_; }

    // Encodes and decodes the message (decode: none while incomplete, empty with `bad` set when
    // it is not a message of ours or is too long).
    static QByteArray encode(const QList<QByteArray>& paths);
    static std::optional<QList<QByteArray>> decode(const QByteArray& data, bool* bad);

  signals:
    // Files handed over by a later start, absolute file names in the order given.
    void filesReceived(const QList<QByteArray>& paths);

  private:
    struct Connection;

    Start handOver(QLocalSocket& socket, const QList<QByteArray>& files);
    bool listen();
    void accept();
    void read(QLocalSocket* socket);
    void expire(QLocalSocket* socket);
    void take(QLocalSocket* socket);
    void drop(QLocalSocket* socket);
    void deliverWhenIdle();

    QString serverName_;
    std::function<bool()> busy_;
    Limits limits_;
    QString problem_;
    QLocalServer* server_ = nullptr;
    std::map<QLocalSocket*, std::unique_ptr<Connection>> connections_;
    std::optional<QList<QByteArray>> pending_;
    bool deliveryScheduled_ = false;
};

}  // namespace velmar
