#include "platform/base/user_defaults.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>

#include <cmath>

namespace velmar {
namespace {

bool readJson(QIODevice& device, QSettings::SettingsMap& map) {
    const QByteArray bytes = device.readAll();
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

UserDefaults::UserDefaults(const QString& filePath) {
    QDir().mkpath(QFileInfo(filePath).absolutePath());
    settings_ = std::make_unique<QSettings>(filePath, jsonFormat());
}

UserDefaults::~UserDefaults() = default;

QString UserDefaults::filePath() const {
    return settings_->fileName();
}

QVariant UserDefaults::raw(const QString& key) const {
    std::lock_guard lock(mutex_);
    return settings_->value(key);
}

void UserDefaults::store(const QString& key, const QVariant& value) {
    std::lock_guard lock(mutex_);
    settings_->setValue(key, value);
    settings_->sync();
}

bool UserDefaults::contains(const QString& key) const {
    std::lock_guard lock(mutex_);
    return settings_->contains(key);
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
    store(key, value);
}
void UserDefaults::set(const QString& key, bool value) {
    store(key, value);
}
void UserDefaults::set(const QString& key, long long value) {
    store(key, value);
}
void UserDefaults::set(const QString& key, double value) {
    store(key, value);
}
void UserDefaults::set(const QString& key, const QStringList& value) {
    store(key, QVariant(value).toList());
}

void UserDefaults::set(const QString& key, const QList<double>& value) {
    QVariantList list;
    for (double d : value) list.push_back(d);
    store(key, list);
}

void UserDefaults::remove(const QString& key) {
    std::lock_guard lock(mutex_);
    settings_->remove(key);
    settings_->sync();
}

}  // namespace velmar
