#pragma once

#include "platform/base/serial_queue.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace velmar {

class HostClock;
class Timer;
class TimerFactory;

// The operation log: one time-stamped line per on-air action, one file a day
// ("velmar-yyyy-MM-dd.log" in the support folder's Logs/). write() only stamps the line and
// appends it to a memory buffer; a 5 s timer hands the buffer to the "velmar.log" queue, which
// appends it to the day's file, so no caller ever waits for the disk.
//
// Stamps and file names use the POSIX conventions regardless of the user's locale: Gregorian
// calendar, 24-hour clock, ASCII digits, local time zone.
class PlayoutLog {
  public:
    static constexpr int kMaxBufferedLines = 4000;
    static constexpr double kFlushPeriodSeconds = 5.0;
    static constexpr double kMaxFileAgeSeconds = 15'552'000.0;  // 180 days
    static constexpr const char* startBanner = "---- DOVRINE 起動 ----";
    static constexpr const char* stopBanner = "---- DOVRINE 終了 ----";

    static PlayoutLog& shared();

    // directory: the log folder, made on first use; empty means there is none (lines are then
    // dropped at each flush). opener: shows a folder to the user (defaults to the desktop's
    // file manager).
    PlayoutLog(QString directory, HostClock& clock, TimerFactory& timers,
               std::function<void(const QString&)> opener = {});
    ~PlayoutLog();

    PlayoutLog(const PlayoutLog&) = delete;
    PlayoutLog& operator=(const PlayoutLog&) = delete;

    // Any thread.
    void write(const QString& text);

    // Main thread. start(): banner, pruning, flush timer; only once while started.
    void start();
    // Main thread. Banner, timer off, flush; returns when the lines are on disk.
    void stop();
    // Main thread. Hands the buffered lines to the queue.
    void flush();
    // Main thread. Flushes and opens the log folder in the desktop's file manager.
    void revealInFileManager();

    // The day's file for the current date, or empty without a folder.
    QString fileName() const;
    QString directory() const;

    // Told, on the log's own queue, when appending to the day's file starts to fail (a folder,
    // a link or a pipe at its name, a full disk), with the text for the status line, which says
    // what is in the file's place; told again only after a flush in between succeeded. The
    // lines stay buffered for the next flush.
    void setFailureHandler(std::function<void(const QString&)> handler);

    // Waits until all file work handed to the queue so far is done.
    void waitForPendingWrites();

    bool isStarted() const { return timer_ != nullptr; }

    // "HH:mm:ss.SSS" and "yyyy-MM-dd" of a wall-clock time, in the local time zone.
    static QString timeStamp(std::chrono::system_clock::time_point time);
    static QString dayStamp(std::chrono::system_clock::time_point time);

  private:
    void pruneOldLogs();
    const QString& ensureDirectory();
    static int appendToFile(const QString& path, std::vector<QString>& pending);

    QString directoryPath_;
    bool directoryMade_ = false;
    HostClock& clock_;
    TimerFactory& timers_;
    std::function<void(const QString&)> opener_;

    std::mutex bufferLock_;
    std::vector<QString> buffer_;
    std::unique_ptr<Timer> timer_;

    // Lines a failed append could not write, kept (on the queue) for the next flush.
    std::vector<QString> unwritten_;
    bool appendFailing_ = false;                          // on the queue
    std::function<void(const QString&)> failureHandler_;  // guarded by bufferLock_
    SerialQueue queue_{"velmar.log"};
};

}  // namespace velmar
