#include "platform/base/user_defaults.h"

#include "platform/base/atomic_file.h"
#include "platform/base/private_directory.h"
#include "platform/base/regular_file.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <vector>

namespace velmar {
namespace {

bool parseJson(const QByteArray& bytes, QVariantMap& map) {
    if (bytes.trimmed().isEmpty()) return true;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return false;
    const QJsonObject object = doc.object();
    for (auto it = object.begin(); it != object.end(); ++it) {
        map.insert(it.key(), it.value().toVariant());
    }
    return true;
}

// One JSON value standing alone, or nothing when it does not parse.
std::optional<QJsonValue> parseValue(const QByteArray& text) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson('[' + text + ']', &error);
    if (error.error != QJsonParseError::NoError || doc.array().size() != 1) return std::nullopt;
    return doc.array().at(0);
}

// What can still be read of a settings object that does not parse as a whole: every top-level
// "key": value pair whose key and value parse on their own. Anything else is skipped up to the
// next comma or line end outside brackets and strings.
QVariantMap salvage(const QByteArray& bytes) {
    QVariantMap map;
    const qsizetype n = bytes.size();
    qsizetype i = bytes.indexOf('{');
    if (i < 0) return map;
    ++i;
    auto stringEnd = [&](qsizetype start) -> qsizetype {  // just past the closing quote
        for (qsizetype j = start + 1; j < n; ++j) {
            if (bytes[j] == '\\') {
                ++j;
            } else if (bytes[j] == '"') {
                return j + 1;
            }
        }
        return n;
    };
    auto valueEnd = [&](qsizetype start) -> qsizetype {
        int depth = 0;
        for (qsizetype j = start; j < n;) {
            const char c = bytes[j];
            if (c == '"') {
                j = stringEnd(j);
                continue;
            }
            if (c == '[' || c == '{') {
                ++depth;
            } else if (c == ']' || c == '}') {
                if (depth == 0) return j;
                if (--depth == 0) return j + 1;
            } else if (depth == 0 && (c == ',' || c == '\n')) {
                return j;
            }
            ++j;
        }
        return n;
    };
    auto skipSpace = [&](qsizetype j) {
        while (j < n && std::isspace(static_cast<unsigned char>(bytes[j]))) ++j;
        return j;
    };
    while ((i = skipSpace(i)) < n && bytes[i] != '}') {
        if (bytes[i] == ',') {
            ++i;
            continue;
        }
        if (bytes[i] == '"') {
            const qsizetype keyEnd = stringEnd(i);
            const auto key = parseValue(bytes.mid(i, keyEnd - i));
            qsizetype j = skipSpace(keyEnd);
            if (key && key->isString() && j < n && bytes[j] == ':') {
                j = skipSpace(j + 1);
                const qsizetype end = valueEnd(j);
                if (const auto value = parseValue(bytes.mid(j, end - j))) {
                    map.insert(key->toString(), value->toVariant());
                    i = end;
                    continue;
                }
            }
        }
        const qsizetype next = valueEnd(i);
        i = next > i ? next : i + 1;
    }
    return map;
}

enum class FileState { absent, parsed, broken, unreadable };

// What tells a settings file apart from the one seen before: device, inode, size, the time of
// its last change (seconds and nanoseconds), and its mode and owners, which are compared too
// because a change of them within one tick of the file system's clock leaves that time as it
// was. Nothing when it cannot be seen.
std::optional<UserDefaults::FileStamp> fileStamp(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0) return std::nullopt;
    return UserDefaults::FileStamp{
        static_cast<long long>(st.st_dev),          static_cast<long long>(st.st_ino),
        static_cast<long long>(st.st_size),         static_cast<long long>(st.st_ctim.tv_sec),
        static_cast<long long>(st.st_ctim.tv_nsec), static_cast<long long>(st.st_mode),
        static_cast<long long>(st.st_uid),          static_cast<long long>(st.st_gid)};
}

// Whose settings file is read: this user's, or root's (one an administrator provides), which is
// never replaced but left as it is, like a file its owner made read-only.
bool readableOwner(uid_t owner) {
    return owner == ::geteuid() || owner == 0;
}

// Reads and parses the settings file as it is on disk now. Nothing in its place (a pipe, a
// device, a folder) is waited on: it reads as a file that cannot be read. `own` tells whether the
// file is this user's (else root's).
FileState inspect(const QString& path, QVariantMap& values, UserDefaults::Reason& error,
                  bool& own) {
    // A link the writer would refuse to follow (not the user's own in a folder only the user can
    // change) is not read as the user's settings, nor another user's file but root's (below):
    // another user's choice of autosave folder would otherwise send the operator's work there.
    if (const int code = AtomicFile::check(path); code == AtomicFile::kLinkRefused) {
        error = {AtomicFile::errorText(code), code};
        return FileState::unreadable;
    }
    RegularFile file = RegularFile::open(path, O_RDONLY);
    if (!file.isOpen()) {
        struct stat st {};
        // Nothing there, or no folder on the way; a link that leads nowhere is not nothing.
        if ((file.error() == ENOENT || file.error() == ENOTDIR) &&
            ::lstat(QFile::encodeName(path).constData(), &st) != 0) {
            return FileState::absent;
        }
        error = {file.errorString(), file.error()};
        return FileState::unreadable;
    }
    // The owner of what was opened, not of what was checked a moment before.
    struct stat st {};
    if (::fstat(file.fd(), &st) != 0) {
        const int code = errno;
        error = {AtomicFile::errorText(code), code};
        return FileState::unreadable;
    }
    if (!readableOwner(st.st_uid)) {
        error = {AtomicFile::errorText(AtomicFile::kOtherOwner), AtomicFile::kOtherOwner};
        return FileState::unreadable;
    }
    own = st.st_uid == ::geteuid();
    bool whole = false;
    std::optional<QByteArray> read = file.read(UserDefaults::kMaxFileBytes, &whole);
    if (!read) {
        error = {file.errorString(), file.error()};
        return FileState::unreadable;
    }
    QByteArray& bytes = *read;
    if (whole && parseJson(bytes, values)) return FileState::parsed;
    // Of a file too large, only the whole lines within the limit: a value cut short at the
    // limit (a number that lost digits) must not pass for the one written.
    if (!whole) bytes.truncate(bytes.lastIndexOf('\n', UserDefaults::kMaxFileBytes - 1) + 1);
    values = salvage(bytes);
    return FileState::broken;
}

// Renames a file that did not parse to a dated name beside it; the new path, or empty.
QString setAside(const QString& path) {
    const QString stem = path + QStringLiteral(".broken-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString target = stem;
    for (int n = 2; QFileInfo::exists(target) || QFileInfo(target).isSymLink(); ++n)
        target = stem + u'-' + QString::number(n);
    // The system's rename alone: it moves whatever is there without opening it.
    return ::rename(QFile::encodeName(path).constData(), QFile::encodeName(target).constData()) == 0
               ? target
               : QString();
}

QByteArray encode(const QVariantMap& values) {
    QJsonObject object;
    for (auto it = values.begin(); it != values.end(); ++it)
        object.insert(it.key(), QJsonValue::fromVariant(it.value()));
    // QJsonObject keeps its keys sorted, so the file is deterministic.
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

// The JSON of `values` within kMaxFileBytes: while it is larger, values are left out of it (and
// of `values`), those of keys outside `used` first, the largest first, never `kept`. Empty, with
// `values` as they were, when even so it does not fit.
QByteArray encodeWithin(QVariantMap& values, const QSet<QString>& used, const QString* kept) {
    QByteArray json = encode(values);
    if (json.size() <= UserDefaults::kMaxFileBytes) return json;
    struct Entry {
        QString key;
        bool used;
        qsizetype bytes;  // its share of the file, about
    };
    std::vector<Entry> entries;
    for (auto it = values.begin(); it != values.end(); ++it) {
        if (kept && it.key() == *kept) continue;
        QVariantMap one;
        one.insert(it.key(), it.value());
        entries.push_back({it.key(), used.contains(it.key()), encode(one).size()});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.used != b.used) return b.used;
        return a.bytes > b.bytes;
    });
    QVariantMap trimmed = values;
    qsizetype estimate = json.size();
    QStringList left;
    for (const Entry& entry : entries) {
        trimmed.remove(entry.key);
        left << entry.key;
        estimate -= entry.bytes;
        if (estimate > UserDefaults::kMaxFileBytes) continue;
        json = encode(trimmed);
        if (json.size() <= UserDefaults::kMaxFileBytes) break;
        estimate = json.size();
    }
    if (json.size() > UserDefaults::kMaxFileBytes) json = encode(trimmed);
    // Even so too large: nothing is left out, and nothing written.
    if (json.size() > UserDefaults::kMaxFileBytes) return QByteArray();
    values = std::move(trimmed);
    // One line however many were left out, the largest named first.
    qWarning("DOVRINE: the settings file would exceed %lld bytes: left out %lld value(s): %s",
             static_cast<long long>(UserDefaults::kMaxFileBytes),
             static_cast<long long>(left.size()),
             qUtf8Printable(left.mid(0, 5).join(QStringLiteral(", ")) +
                            (left.size() > 5 ? QStringLiteral(", ...") : QString())));
    return json;
}

// Replaces the file at `path` with `data` through the program's one writer, keeping the old
// file's permission bits exactly; a new file is the user's alone. False, with the reason in
// `error`, when it could not be written; `readOnly` then tells a file whose mode bits deny its
// owner writing (judged from the bits, as the writer does, also for root), or root's file.
bool replaceFile(const QString& path, const QByteArray& data, UserDefaults::Reason* error,
                 bool* readOnly) {
    const QString folder = QFileInfo(path).absolutePath();
    PrivateDirectory::makePath(folder);  // made again when it was removed while running
    AtomicFile::Options options;
    options.readOnly = AtomicFile::ReadOnlyTarget::refuse;
    options.newFileMode = 0600;
    int code = 0;
    if (AtomicFile::write(path, data, &code, options)) return true;
    // Root's file, which the writer refuses as another user's, is left as it is like one whose
    // owner made it read-only.
    struct stat st {};
    *readOnly = (code == EACCES || code == AtomicFile::kOtherOwner) &&
                ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode) &&
                (code == EACCES ? (st.st_mode & S_IWUSR) == 0 : st.st_uid == 0);
    const QFileInfo folderInfo(folder);
    if (folderInfo.exists() && !folderInfo.isDir()) {
        *error = {folderInfo.filePath() + QStringLiteral(" is not a folder"), 0};
    } else {
        *error = {AtomicFile::errorText(code), code};
    }
    return false;
}

}  // namespace

UserDefaults& UserDefaults::standard() {
    static UserDefaults defaults(
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
        "/DOVRINE/velmar.json");
    return defaults;
}

UserDefaults::UserDefaults(const QString& filePath)
    : path_(QFileInfo(filePath).absoluteFilePath()) {
    PrivateDirectory::makePath(QFileInfo(path_).absolutePath());
    // What writes killed in an earlier run left beside the file: only the writer's own
    // temporaries, which a name alone cannot be mistaken for (the operator's copies of the file,
    // "velmar.json.Backup" say, stay whatever they are called).
    AtomicFile::removeLeftovers(path_);
    std::optional<Problem> found;
    {
        std::lock_guard lock(mutex_);
        found = guardFile();
    }
    report(found);
}

UserDefaults::~UserDefaults() = default;

QString UserDefaults::filePath() const {
    return path_;
}

std::optional<UserDefaults::Problem> UserDefaults::guardFile() {
    if (!fileBacked_) return std::nullopt;
    if (seen_ && fileStamp(path_) == seen_) return std::nullopt;
    QVariantMap onDisk;
    Reason error;
    bool own = true;
    const FileState state = inspect(path_, onDisk, error, own);
    if (state == FileState::absent) {
        // Gone (or never there): what this run knows is written whole at the next write.
        seen_.reset();
        return std::nullopt;
    }
    if (state == FileState::parsed) {
        // Another copy's changes are taken; values a failed write could not store stay over them.
        if (writeFailing_) onDisk.insert(values_);
        values_ = std::move(onDisk);
        noteFileSeen();
        return std::nullopt;
    }
    seen_.reset();

    // What this process knows, with what could be read from the file over it.
    values_.insert(onDisk);
    Problem problem;
    problem.path = path_;
    if (state == FileState::broken) {
        // Root's file is left where it is, as it is never replaced.
        problem.movedTo = own ? setAside(path_) : QString();
        if (problem.movedTo.isEmpty()) {
            problem.kind = Problem::Kind::unreadable;
            problem.error = own ? QStringLiteral("it does not parse and cannot be moved aside")
                                : QStringLiteral("it does not parse and is root's");
            fileBacked_ = false;
        } else {
            // The new file is what was read, within the size read back: it is not moved aside
            // again, in this run or the next.
            Reason unused;
            if (writeFile(nullptr, &unused)) noteFileSeen();
        }
    } else {
        problem.kind = Problem::Kind::unreadable;
        problem.error = error.text;
        problem.code = error.code;
        fileBacked_ = false;
    }
    if (!fileBacked_) writeFailing_ = false;  // nothing is written any more
    problem_ = problem;
    return problem;
}

void UserDefaults::noteFileSeen() {
    seen_ = fileStamp(path_);
}

bool UserDefaults::writeFile(const QString* kept, Reason* error, bool* readOnly) {
    bool unused = false;
    if (!readOnly) readOnly = &unused;
    *readOnly = false;
    const QByteArray json = encodeWithin(values_, used_, kept);
    if (json.isEmpty()) {
        *error = {QStringLiteral("the settings would exceed %1 bytes").arg(kMaxFileBytes), 0};
        return false;
    }
    return replaceFile(path_, json, error, readOnly);
}

std::optional<UserDefaults::Problem> UserDefaults::checkWrite(bool written, const Reason& error,
                                                              bool readOnly) {
    const bool failed = !written;
    if (failed == writeFailing_) return std::nullopt;
    writeFailing_ = failed;
    Problem problem;
    problem.path = path_;
    if (failed) {
        problem.kind = readOnly ? Problem::Kind::readOnly : Problem::Kind::writeFailed;
        problem.error = error.text;
        problem.code = error.code;
        problem_ = problem;
    } else {
        problem.kind = Problem::Kind::writeResumed;
        if (problem_ && (problem_->kind == Problem::Kind::writeFailed ||
                         problem_->kind == Problem::Kind::readOnly)) {
            problem_.reset();
        }
    }
    return problem;
}

std::optional<UserDefaults::Problem> UserDefaults::problem() const {
    std::lock_guard lock(mutex_);
    return problem_;
}

void UserDefaults::setProblemObserver(std::function<void(const Problem&)> observer) {
    const auto found = problem();
    std::lock_guard lock(observerMutex_);
    observer_ = std::move(observer);
    if (observer_ && found) observer_(*found);
}

void UserDefaults::report(const std::optional<Problem>& problem) {
    if (!problem) return;
    std::lock_guard lock(observerMutex_);
    if (observer_) observer_(*problem);
}

QVariant UserDefaults::raw(const QString& key) const {
    std::lock_guard lock(mutex_);
    used_.insert(key);
    return values_.value(key);
}

void UserDefaults::store(const QString& key, const std::optional<QVariant>& value) {
    std::optional<Problem> found;
    std::optional<Problem> written;
    {
        std::lock_guard lock(mutex_);
        found = guardFile();
        used_.insert(key);
        // The file holds this run's values as they are (seen, no write failing): a value set
        // again unchanged is not written, so a file left as it is (read-only, or root's) is not
        // told as such before anything was changed.
        const bool unchanged =
            value ? values_.contains(key) && values_.value(key) == *value : !values_.contains(key);
        if (value) {
            values_.insert(key, *value);
        } else {
            values_.remove(key);
        }
        if (fileBacked_ && !(unchanged && seen_ && !writeFailing_)) {
            Reason error;
            bool readOnly = false;
            const bool ok = writeFile(value ? &key : nullptr, &error, &readOnly);
            written = checkWrite(ok, error, readOnly);
            if (writeFailing_) {
                seen_.reset();
            } else {
                noteFileSeen();
            }
        }
    }
    report(found);
    report(written);
}

bool UserDefaults::contains(const QString& key) const {
    std::lock_guard lock(mutex_);
    used_.insert(key);
    return values_.contains(key);
}

std::optional<QString> UserDefaults::string(const QString& key) const {
    const QVariant v = raw(key);
    if (v.typeId() != QMetaType::QString) return std::nullopt;
    return v.toString();
}

std::optional<bool> UserDefaults::boolean(const QString& key) const {
    const QVariant v = raw(key);
    if (v.typeId() != QMetaType::Bool) return std::nullopt;
    return v.toBool();
}

std::optional<double> UserDefaults::number(const QString& key) const {
    const QVariant v = raw(key);
    switch (v.typeId()) {
        case QMetaType::Double:
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::UInt:
        case QMetaType::ULongLong:
            return v.toDouble();
        default:
            return std::nullopt;
    }
}

std::optional<long long> UserDefaults::integer(const QString& key) const {
    const QVariant v = raw(key);
    switch (v.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
            return v.toLongLong();
        case QMetaType::Double: {
            const double d = v.toDouble();
            // 2^63 is exactly representable; anything at or beyond it does not fit.
            if (!std::isfinite(d) || d != std::floor(d) || d >= 9223372036854775808.0 ||
                d < -9223372036854775808.0) {
                return std::nullopt;
            }
            return static_cast<long long>(d);
        }
        default:
            return std::nullopt;
    }
}

std::optional<QStringList> UserDefaults::stringList(const QString& key) const {
    const QVariant v = raw(key);
    if (v.typeId() != QMetaType::QVariantList && v.typeId() != QMetaType::QStringList) {
        return std::nullopt;
    }
    QStringList out;
    for (const QVariant& item : v.toList()) {
        if (item.typeId() != QMetaType::QString) return std::nullopt;
        out.push_back(item.toString());
    }
    return out;
}

std::optional<QList<double>> UserDefaults::numberList(const QString& key) const {
    const QVariant v = raw(key);
    if (v.typeId() != QMetaType::QVariantList) return std::nullopt;
    QList<double> out;
    for (const QVariant& item : v.toList()) {
        switch (item.typeId()) {
            case QMetaType::Double:
            case QMetaType::Int:
            case QMetaType::LongLong:
            case QMetaType::UInt:
            case QMetaType::ULongLong:
                out.push_back(item.toDouble());
                break;
            default:
                return std::nullopt;
        }
    }
    return out;
}

void UserDefaults::set(const QString& key, const QString& value) {
    store(key, QVariant(value));
}
void UserDefaults::set(const QString& key, bool value) {
    store(key, QVariant(value));
}
void UserDefaults::set(const QString& key, long long value) {
    store(key, QVariant(value));
}
void UserDefaults::set(const QString& key, double value) {
    store(key, QVariant(value));
}
void UserDefaults::set(const QString& key, const QStringList& value) {
    store(key, QVariant(QVariant(value).toList()));
}

void UserDefaults::set(const QString& key, const QList<double>& value) {
    QVariantList list;
    for (double d : value) list.push_back(d);
    store(key, QVariant(list));
}

void UserDefaults::remove(const QString& key) {
    store(key, std::nullopt);
}

}  // namespace velmar
