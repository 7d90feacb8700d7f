#pragma once

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>

#include <array>
#include <functional>
#include <mutex>
#include <optional>

namespace velmar {

// Persisted settings: a JSON file whose values keep their JSON types (bool, number, string,
// array of strings). Getters return a value only when the stored one has the asked-for type, so
// a value of the wrong type reads as the caller's default. Every write reaches the file at once,
// replacing it whole through AtomicFile (a link to it is followed only when it is the user's own
// in a folder closed to others; temporaries killed writes left are removed at the start). Safe to
// use from any thread.
//
// A file that could not be read is never written over. One that does not parse (a stray comma,
// a number out of range) or is larger than kMaxFileBytes is renamed
// "<name>.broken-yyyyMMdd-HHmmss" beside itself, the pairs of it that still parse are kept, and a
// new file is written. One that cannot be read at all (no permission, a folder, pipe or device
// in its place, another user's file) is left alone: settings then live in memory until the end of
// the run. Both are checked at construction and before every write; the file is opened so that
// nothing in its place can make either wait. Root's file (an administrator's) is read but never
// replaced nor moved aside: it is left as it is, like a file the operator made read-only.
//
// What is written is always read back whole at the next start: a write that would come out
// larger than kMaxFileBytes leaves out values, largest first, of the keys this run never asked
// for nor set (then of the others, but never the one being set), and says so on standard error;
// one that would not fit even so is not made, and fails like any write that fails.
//
// A write that fails (disk full, a file where the folder should be, a file the operator made
// read-only, which is left exactly as it is) keeps every value in memory and is told once; each
// later change writes them all again, over what another copy wrote meanwhile, and the first that
// succeeds is told too.
class UserDefaults {
  public:
    struct Problem {
        // readOnly: a write failed because the file's mode bits deny its owner writing, or
        // because the file is root's.
        // writeResumed is no problem: it tells that the file is written again after writeFailed
        // or readOnly.
        enum class Kind { setAside, unreadable, writeFailed, readOnly, writeResumed };
        Kind kind = Kind::setAside;
        QString path;     // the settings file
        QString movedTo;  // setAside: where the file that did not parse now is
        QString error;    // unreadable, writeFailed, readOnly: the system's reason, in English
        // The error number behind `error`, or one of AtomicFile's codes; 0 when the text says
        // more than a number would. The interface tells the operator by it, in the language in
        // force.
        int code = 0;
    };

    // Why a read or write of the file failed: the text for standard error and the log, and its
    // code (see Problem::code).
    struct Reason {
        QString text;
        int code = 0;
    };

    // The largest settings file read. What the application stores (a few dozen short values
    // and a folder path) takes a few kilobytes; a larger file is treated as one that does not
    // parse, and of it only the whole lines within this many bytes are read.
    static constexpr qint64 kMaxFileBytes = 1 << 20;

    // The file DOVRINE/velmar.json in the user's configuration folder.
    static UserDefaults& standard();

    explicit UserDefaults(const QString& filePath);
    ~UserDefaults();

    std::optional<QString> string(const QString& key) const;
    std::optional<bool> boolean(const QString& key) const;
    // Only a JSON number that is integral and within the 64-bit range.
    std::optional<long long> integer(const QString& key) const;
    std::optional<double> number(const QString& key) const;
    std::optional<QStringList> stringList(const QString& key) const;
    // Only a JSON array whose every element is a number.
    std::optional<QList<double>> numberList(const QString& key) const;
    bool contains(const QString& key) const;

    void set(const QString& key, const QString& value);
    void set(const QString& key, const char* value) { set(key, QString::fromUtf8(value)); }
    void set(const QString& key, bool value);
    void set(const QString& key, long long value);
    void set(const QString& key, int value) { set(key, static_cast<long long>(value)); }
    void set(const QString& key, double value);
    void set(const QString& key, const QStringList& value);
    void set(const QString& key, const QList<double>& value);
    void remove(const QString& key);

    QString filePath() const;

    // The last problem met with the file, if any; none once a failed write has been mended.
    std::optional<Problem> problem() const;
    // Told of every problem, on the thread that met it; at once of one met before. Empty: none.
    void setProblemObserver(std::function<void(const Problem&)> observer);

    // What tells the file apart from the one last read or written (identity, size, change time,
    // mode and owners).
    using FileStamp = std::array<long long, 8>;

  private:
    QVariant raw(const QString& key) const;
    // Sets (a value) or removes (none) the key and writes the file.
    void store(const QString& key, const std::optional<QVariant>& value);
    // Checks the file before it is written (mutex_ held); returns a problem to report, if any.
    // A file unchanged since it was last read or written is not read again.
    std::optional<Problem> guardFile();
    // Remembers the file as it is now, after it was read whole or written (mutex_ held).
    void noteFileSeen();
    // Replaces the file with values_, within kMaxFileBytes (mutex_ held); `kept` is never left
    // out. False, with the reason in `error`, when it could not be written; `readOnly` then
    // tells a file whose mode bits deny writing.
    bool writeFile(const QString* kept, Reason* error, bool* readOnly = nullptr);
    // After a write (mutex_ held): a change between failing and working, if any.
    std::optional<Problem> checkWrite(bool written, const Reason& error, bool readOnly);
    void report(const std::optional<Problem>& problem);

    const QString path_;
    mutable std::mutex mutex_;
    // False while the settings live in memory only (the file could not be read).
    bool fileBacked_ = true;
    QVariantMap values_;
    // The keys this run asked for or set: kept before any other when the file must shrink.
    mutable QSet<QString> used_;
    // The last write failed; the next one rewrites every value.
    bool writeFailing_ = false;
    std::optional<Problem> problem_;
    // The file's stamp when last read whole or written: a write that finds it so skips reading
    // and parsing it again (a fader dragged writes many times).
    std::optional<FileStamp> seen_;
    std::mutex observerMutex_;
    std::function<void(const Problem&)> observer_;
};

}  // namespace velmar
