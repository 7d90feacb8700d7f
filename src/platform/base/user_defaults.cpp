#include "platform/base/user_defaults.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <sys/stat.h>

#include <cctype>
#include <cmath>

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

// Reads the device to its end into `bytes` unless it holds more than the settings file may: then
// `bytes` holds the first kMaxFileBytes + 1 of them and the answer is false. Nothing larger is
// ever held in memory.
bool readBounded(QIODevice& device, QByteArray& bytes) {
    constexpr qint64 limit = UserDefaults::kMaxFileBytes + 1;
    bytes.clear();
    while (bytes.size() < limit) {
        const QByteArray chunk = device.read(limit - bytes.size());
        if (chunk.isEmpty()) break;
        bytes += chunk;
    }
    return bytes.size() <= UserDefaults::kMaxFileBytes;
}

// A file too large reads as one that does not parse.
bool readJson(QIODevice& device, QSettings::SettingsMap& map) {
    QByteArray bytes;
    return readBounded(device, bytes) && parseJson(bytes, map);
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

// Reads and parses the settings file as it is on disk now.
FileState inspect(const QString& path, QVariantMap& values, QString& error) {
    const QFileInfo info(path);
    if (!info.exists() && !info.isSymLink()) return FileState::absent;
    QFile file(path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        error = info.isDir() ? QStringLiteral("a folder is in its place") : file.errorString();
        return FileState::unreadable;
    }
    QByteArray bytes;
    const bool whole = readBounded(file, bytes);
    if (file.error() != QFileDevice::NoError) {
        error = file.errorString();
        return FileState::unreadable;
    }
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
    return QFile::rename(path, target) ? target : QString();
}

// Why the settings file could not be written, as far as can be told after the fact.
QString writeFailureReason(const QString& path) {
    const QFileInfo info(path);
    const QFileInfo folder(info.absolutePath());
    if (folder.exists() && !folder.isDir())
        return folder.filePath() + QStringLiteral(" is not a folder");
    if (info.exists()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite)) return file.errorString();
    }
    QTemporaryFile probe(path + QStringLiteral(".XXXXXX"));
    if (!probe.open()) return probe.errorString();
    if (probe.write(QByteArray(4096, ' ')) < 0 || !probe.flush()) return probe.errorString();
    return QStringLiteral("the file could not be replaced");
}

bool writeJson(QIODevice& device, const QSettings::SettingsMap& map) {
    QJsonObject object;
    for (auto it = map.begin(); it != map.end(); ++it) {
        object.insert(it.key(), QJsonValue::fromVariant(it.value()));
    }
    // QJsonObject keeps its keys sorted, so the file is deterministic.
    return device.write(QJsonDocument(object).toJson(QJsonDocument::Indented)) >= 0;
}

}  // namespace

QSettings::Format UserDefaults::jsonFormat() {
    static const QSettings::Format format =
        QSettings::registerFormat("json", readJson, writeJson, Qt::CaseSensitive);
    return format;
}

UserDefaults& UserDefaults::standard() {
    static UserDefaults defaults(
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
        "/DOVRINE/velmar.json");
    return defaults;
}

UserDefaults::UserDefaults(const QString& filePath)
    : path_(QFileInfo(filePath).absoluteFilePath()) {
    QDir().mkpath(QFileInfo(path_).absolutePath());
    std::optional<Problem> found;
    {
        std::lock_guard lock(mutex_);
        settings_ = std::make_unique<QSettings>(path_, jsonFormat());
        found = guardFile();
    }
    report(found);
}

UserDefaults::~UserDefaults() = default;

QString UserDefaults::filePath() const {
    return path_;
}

std::optional<UserDefaults::Problem> UserDefaults::guardFile() {
    if (!settings_) return std::nullopt;
    if (seen_ && fileStamp(path_) == seen_) return std::nullopt;
    QVariantMap onDisk;
    QString error;
    const FileState state = inspect(path_, onDisk, error);
    if (state == FileState::absent || state == FileState::parsed) {
        noteFileSeen();
        return std::nullopt;
    }
    seen_.reset();

    // What this process knows, with what could be read from the file over it.
    QVariantMap known = knownValues();
    known.insert(onDisk);
    Problem problem;
    problem.path = path_;
    if (state == FileState::broken) {
        settings_.reset();  // nothing may write the file before it is moved
        problem.movedTo = setAside(path_);
        if (problem.movedTo.isEmpty()) {
            problem.kind = Problem::Kind::unreadable;
            problem.error = QStringLiteral("it does not parse and cannot be moved aside");
        } else {
            settings_ = std::make_unique<QSettings>(path_, jsonFormat());
            for (auto it = known.begin(); it != known.end(); ++it)
                settings_->setValue(it.key(), it.value());
            settings_->sync();
        }
    } else {
        problem.kind = Problem::Kind::unreadable;
        problem.error = error;
        settings_.reset();
    }
    if (!settings_) {
        memory_ = std::move(known);
        writeFailing_ = false;  // nothing is written any more
    }
    problem_ = problem;
    return problem;
}

void UserDefaults::noteFileSeen() {
    seen_ = fileStamp(path_);
}

QVariantMap UserDefaults::knownValues() const {
    QVariantMap known;
    for (const QString& key : settings_->allKeys()) known.insert(key, settings_->value(key));
    return known;
}

std::optional<UserDefaults::Problem> UserDefaults::checkWrite() {
    const bool failed = settings_->status() != QSettings::NoError;
    if (failed == writeFailing_) return std::nullopt;
    writeFailing_ = failed;
    Problem problem;
    problem.path = path_;
    if (failed) {
        problem.kind = Problem::Kind::writeFailed;
        problem.error = writeFailureReason(path_);
        problem_ = problem;
    } else {
        problem.kind = Problem::Kind::writeResumed;
        if (problem_ && problem_->kind == Problem::Kind::writeFailed) problem_.reset();
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
    return settings_ ? settings_->value(key) : memory_.value(key);
}

void UserDefaults::store(const QString& key, const std::optional<QVariant>& value) {
    std::optional<Problem> found;
    std::optional<Problem> written;
    {
        std::lock_guard lock(mutex_);
        found = guardFile();
        if (!settings_) {
            if (value) {
                memory_.insert(key, *value);
            } else {
                memory_.remove(key);
            }
        } else {
            if (writeFailing_) {
                // A failed write leaves the settings object's view of the file uncertain (it
                // rereads a file that changed and keeps its error): start a new one that holds
                // exactly what is known, so all of it is written.
                const QVariantMap known = knownValues();
                settings_.reset();
                settings_ = std::make_unique<QSettings>(path_, jsonFormat());
                settings_->clear();
                for (auto it = known.begin(); it != known.end(); ++it)
                    settings_->setValue(it.key(), it.value());
            }
            if (value) {
                settings_->setValue(key, *value);
            } else {
                settings_->remove(key);
            }
            settings_->sync();
            written = checkWrite();
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
    return settings_ ? settings_->contains(key) : memory_.contains(key);
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
