#include "core/playout_log.h"

#include "models/localized.h"
#include "models/system_error_text.h"
#include "platform/base/app_paths.h"
#include "platform/base/atomic_file.h"
#include "platform/base/host_clock.h"
#include "platform/base/private_directory.h"
#include "platform/base/regular_file.h"
#include "platform/base/timer.h"

#include <QDesktopServices>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <ctime>

namespace velmar {
namespace {

std::tm localParts(std::chrono::system_clock::time_point time, int* milliseconds) {
    const auto sinceEpoch = time.time_since_epoch();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count();
    std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    int rest = static_cast<int>(ms % 1000);
    if (rest < 0) {  // times before the epoch round toward the earlier second
        rest += 1000;
        seconds -= 1;
    }
    if (milliseconds != nullptr) *milliseconds = rest;
    std::tm parts{};
    localtime_r(&seconds, &parts);
    return parts;
}

// Whether a character is written escaped: the C0 controls but the tab, DEL, the C1 controls
// (among them a terminal's CSI and OSC, which would carry an escape sequence to whoever prints
// the log), the characters that end a line in a viewer (next line, line and paragraph separator),
// and those that turn the direction of its text: the bidirectional embeddings, overrides and
// isolates, and the invisible direction marks (left-to-right, right-to-left, Arabic letter mark).
bool isEscaped(QChar c) {
    const char16_t u = c.unicode();
    return (u < 0x20 && u != u'\t') || (u >= 0x7F && u <= 0x9F) || u == 0x061C || u == 0x200E ||
           u == 0x200F || (u >= 0x2028 && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
}

// The text of one line: the characters above (a line feed in a clip's file name, say) are
// written as "\xNN", or "\uNNNN" beyond two hex digits, so no text can end its line early,
// forge the lines that follow it, show a line reversed or drive a terminal. A backslash is
// written doubled, so that no text can pass for one of these escapes.
QString oneLine(const QString& text) {
    const auto plain = [](QChar c) { return !isEscaped(c) && c != u'\\'; };
    if (std::all_of(text.begin(), text.end(), plain)) return text;
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (plain(c)) {
            out += c;
        } else if (c == u'\\') {
            out += QStringLiteral("\\\\");
        } else {
            const bool wide = c.unicode() > 0xFF;
            out += (wide ? QStringLiteral("\\u") : QStringLiteral("\\x")) +
                   QString::number(c.unicode(), 16).rightJustified(wide ? 4 : 2, u'0');
        }
    }
    return out;
}

// The names this log gives its day files; pruning touches nothing else.
bool isDayFileName(const QString& name) {
    static const QRegularExpression pattern(
        QStringLiteral(R"(\Avelmar-[0-9]{4}-[0-9]{2}-[0-9]{2}\.log\z)"));
    return pattern.match(name).hasMatch();
}

// What is in the day's file's place when it is no file, for the status line.
const char* const kLinkInPlace = L10N_KEY("シンボリックリンクが置かれています（たどりません）");
const char* const kNotRegularInPlace =
    L10N_KEY("通常のファイルではありません（パイプ・デバイス・ソケットが置かれています）");

// Why appending failed, for standard error (English) or for the status line: something other
// than a file at the day's name is said as such, any other error in the system's words.
QString failureText(int failure, bool forStatusLine) {
    if (failure == ELOOP) {
        return forStatusLine ? localized(kLinkInPlace)
                             : QStringLiteral("a symbolic link is in its place (not followed)");
    }
    if (failure == RegularFile::kNotRegular) {
        return forStatusLine ? localized(kNotRegularInPlace)
                             : QStringLiteral(
                                   "not a regular file (a pipe, device or socket is in its place)");
    }
    if (failure == AtomicFile::kOtherOwner && !forStatusLine) return AtomicFile::errorText(failure);
    return systemErrorText(failure);
}

}  // namespace

PlayoutLog& PlayoutLog::shared() {
    static PlayoutLog* log =
        new PlayoutLog(AppPaths::logsDirectory(), HostClock::system(), TimerFactory::system());
    return *log;
}

PlayoutLog::PlayoutLog(QString directory, HostClock& clock, TimerFactory& timers,
                       std::function<void(const QString&)> opener)
    : directoryPath_(std::move(directory)),
      clock_(clock),
      timers_(timers),
      opener_(std::move(opener)) {
    if (!opener_) {
        opener_ = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
    }
    buffer_.reserve(256);
}

PlayoutLog::~PlayoutLog() {
    timer_.reset();
    queue_.waitUntilIdle();
}

QString PlayoutLog::timeStamp(std::chrono::system_clock::time_point time) {
    int ms = 0;
    const std::tm t = localParts(time, &ms);
    char text[48];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", t.tm_hour, t.tm_min, t.tm_sec, ms);
    return QString::fromLatin1(text);
}

QString PlayoutLog::dayStamp(std::chrono::system_clock::time_point time) {
    const std::tm t = localParts(time, nullptr);
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday);
    return QString::fromLatin1(text);
}

void PlayoutLog::write(const QString& text) {
    const QString line = timeStamp(clock_.wallNow()) + QStringLiteral("  ") + oneLine(text);
    std::lock_guard lock(bufferLock_);
    if (buffer_.size() >= static_cast<size_t>(kMaxBufferedLines)) {
        buffer_.erase(buffer_.begin(),
                      buffer_.begin() + static_cast<long>(buffer_.size() - kMaxBufferedLines + 1));
    }
    buffer_.push_back(line);
}

const QString& PlayoutLog::ensureDirectory() {
    if (!directoryMade_ && !directoryPath_.isEmpty()) {
        PrivateDirectory::makePath(directoryPath_);  // an error shows up later as a failed append
        directoryMade_ = true;
    }
    return directoryPath_;
}

QString PlayoutLog::directory() const {
    return directoryPath_;
}

QString PlayoutLog::fileName() const {
    if (directoryPath_.isEmpty()) return {};
    return directoryPath_ + QStringLiteral("/velmar-") + dayStamp(clock_.wallNow()) +
           QStringLiteral(".log");
}

void PlayoutLog::start() {
    if (timer_) return;
    write(QString::fromUtf8(startBanner));
    pruneOldLogs();
    timer_ = timers_.makeTimer([this] { flush(); });
    timer_->start(kFlushPeriodSeconds, true);
}

void PlayoutLog::stop() {
    write(QString::fromUtf8(stopBanner));
    timer_.reset();
    flush();
    // The program may exit right after stop(): the last lines must be on disk by then.
    queue_.waitUntilIdle();
}

void PlayoutLog::flush() {
    std::vector<QString> lines;
    {
        std::lock_guard lock(bufferLock_);
        lines.swap(buffer_);
        buffer_.reserve(lines.capacity());
    }
    if (lines.empty()) return;
    if (ensureDirectory().isEmpty()) return;
    const QString path = fileName();
    queue_.async([this, path, lines = std::move(lines)]() mutable {
        if (!unwritten_.empty()) {
            lines.insert(lines.begin(), unwritten_.begin(), unwritten_.end());
            unwritten_.clear();
        }
        const int failure = appendToFile(path, lines);
        if (failure != 0 && !appendFailing_) {
            // Said once when appending starts to fail, again only after it worked in between.
            qWarning("DOVRINE: cannot append to the operation log %s: %s",
                     QFile::encodeName(path).constData(),
                     qUtf8Printable(failureText(failure, false)));
            std::function<void(const QString&)> handler;
            {
                std::lock_guard lock(bufferLock_);
                handler = failureHandler_;
            }
            if (handler)
                handler(
                    localizedFormat("操作ログに書き込めません: %@", {failureText(failure, true)}));
        }
        appendFailing_ = failure != 0;
        if (!lines.empty()) {
            // Kept for the next flush, within the same bound as the buffer.
            if (lines.size() > static_cast<size_t>(kMaxBufferedLines)) {
                lines.erase(lines.begin(),
                            lines.begin() + static_cast<long>(lines.size() - kMaxBufferedLines));
            }
            unwritten_ = std::move(lines);
        }
    });
}

// Appends the lines to the file, creating it when missing. An existing file is only ever
// appended to, never replaced, and holds whole lines: a write that fails or stops short (a full
// disk) is cut back to the length before it, and a line left cut by a crash is ended before
// anything follows it. Only a regular file is written: a link or a pipe another process put at
// the name is neither followed nor waited on. On success `pending` is emptied and 0 returned;
// otherwise it is left for the next flush and the error code returned: ELOOP for a link at the
// name, RegularFile::kNotRegular for a pipe, device or socket there, AtomicFile::kOtherOwner for
// another user's file.
int PlayoutLog::appendToFile(const QString& path, std::vector<QString>& pending) {
    QString text;
    for (const QString& line : pending) {
        text += line;
        text += QLatin1Char('\n');
    }
    QByteArray data = text.toUtf8();
    RegularFile file =
        RegularFile::open(path, O_RDWR | O_APPEND | O_CREAT, RegularFile::Links::refuse, 0644);
    if (!file.isOpen()) return file.error();
    const int fd = file.fd();
    // In a folder others can write, a file another user put at the day's name is theirs.
    struct stat st {};
    if (::fstat(fd, &st) != 0) return errno;
    if (st.st_uid != ::geteuid()) return AtomicFile::kOtherOwner;
    const off_t before = ::lseek(fd, 0, SEEK_END);
    char last = '\n';
    if (before > 0 && ::pread(fd, &last, 1, before - 1) == 1 && last != '\n') data.prepend('\n');
    const bool written = before >= 0 && file.writeAll(data);
    const int error = before < 0 ? errno : file.error();
    const int failure = written ? 0 : (error != 0 ? error : EIO);
    if (!written && before >= 0) ::ftruncate(fd, before);
    if (written) pending.clear();
    return failure;
}

void PlayoutLog::pruneOldLogs() {
    const QString dir = ensureDirectory();
    if (dir.isEmpty()) return;
    const auto now = clock_.wallNow();
    queue_.async([dir, now] {
        const auto cutoff = now - std::chrono::seconds(static_cast<long long>(kMaxFileAgeSeconds));
        QDir folder(dir);
        const QFileInfoList entries =
            folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        // Only this log's own day files: regular files of our user, never a link (whose target
        // may lie anywhere) nor anything else another program keeps here.
        for (const QFileInfo& entry : entries) {
            if (!isDayFileName(entry.fileName()) || entry.isSymLink() || !entry.isFile() ||
                entry.ownerId() != ::geteuid()) {
                continue;
            }
            const QDateTime modified = entry.lastModified();
            if (!modified.isValid()) continue;  // no date counts as now: kept
            const auto modifiedAt = std::chrono::system_clock::time_point(
                std::chrono::milliseconds(modified.toMSecsSinceEpoch()));
            if (modifiedAt < cutoff) QFile::remove(entry.absoluteFilePath());
        }
    });
}

void PlayoutLog::revealInFileManager() {
    flush();
    const QString dir = ensureDirectory();
    if (dir.isEmpty()) return;
    // Desktop file managers cannot be asked to select a file portably: open the folder.
    opener_(dir);
}

void PlayoutLog::setFailureHandler(std::function<void(const QString&)> handler) {
    std::lock_guard lock(bufferLock_);
    failureHandler_ = std::move(handler);
}

void PlayoutLog::waitForPendingWrites() {
    queue_.waitUntilIdle();
}

}  // namespace velmar
