#include "models/json_decoding.h"

#include <QLatin1String>

#include <cmath>
#include <limits>

namespace velmar {

JsonDecodingError::JsonDecodingError(const QString& message)
    : std::runtime_error(message.toStdString()), message_(message) {}

namespace json {
namespace {

QString typeName(const QJsonValue& value) {
    switch (value.type()) {
        case QJsonValue::Null:
            return QStringLiteral("null");
        case QJsonValue::Bool:
            return QStringLiteral("a boolean");
        case QJsonValue::Double:
            return QStringLiteral("a number");
        case QJsonValue::String:
            return QStringLiteral("a string");
        case QJsonValue::Array:
            return QStringLiteral("an array");
        case QJsonValue::Object:
            return QStringLiteral("an object");
        case QJsonValue::Undefined:
            break;
    }
    return QStringLiteral("nothing");
}

[[noreturn]] void wrongType(const QJsonValue& value, const QString& what, const char* expected) {
    throw JsonDecodingError(QStringLiteral("%1: expected %2, found %3")
                                .arg(what, QLatin1String(expected), typeName(value)));
}

}  // namespace

QJsonValue require(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined()) {
        throw JsonDecodingError(QStringLiteral("missing key \"%1\"").arg(QLatin1String(key)));
    }
    if (value.isNull()) {
        throw JsonDecodingError(QStringLiteral("key \"%1\" is null").arg(QLatin1String(key)));
    }
    return value;
}

std::optional<QJsonValue> optional(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull()) return std::nullopt;
    return value;
}

QJsonObject toObject(const QJsonValue& value, const QString& what) {
    if (!value.isObject()) wrongType(value, what, "an object");
    return value.toObject();
}

QString toString(const QJsonValue& value, const QString& what) {
    if (!value.isString()) wrongType(value, what, "a string");
    return value.toString();
}

bool toBool(const QJsonValue& value, const QString& what) {
    if (!value.isBool()) wrongType(value, what, "a boolean");
    return value.toBool();
}

double toDouble(const QJsonValue& value, const QString& what) {
    if (!value.isDouble()) wrongType(value, what, "a number");
    const double d = value.toDouble();
    if (!std::isfinite(d)) {
        throw JsonDecodingError(QStringLiteral("%1: number is not finite").arg(what));
    }
    return d;
}

qint64 toInt64(const QJsonValue& value, const QString& what) {
    if (!value.isDouble()) wrongType(value, what, "an integer");
    // toInteger() gives its default for a value that is not a whole number representable as
    // qint64; two different defaults tell that case apart from a stored 0 or 1.
    const qint64 a = value.toInteger(0);
    const qint64 b = value.toInteger(1);
    if (a != b) {
        throw JsonDecodingError(QStringLiteral("%1: %2 is not a representable integer")
                                    .arg(what, QString::number(value.toDouble(), 'g', 17)));
    }
    return a;
}

int toInt(const QJsonValue& value, const QString& what) {
    const qint64 v = toInt64(value, what);
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max()) {
        throw JsonDecodingError(
            QStringLiteral("%1: %2 is out of range").arg(what, QString::number(v)));
    }
    return static_cast<int>(v);
}

QJsonObject requireObject(const QJsonObject& object, const char* key) {
    return toObject(require(object, key), QLatin1String(key));
}

QString requireString(const QJsonObject& object, const char* key) {
    return toString(require(object, key), QLatin1String(key));
}

double requireDouble(const QJsonObject& object, const char* key) {
    return toDouble(require(object, key), QLatin1String(key));
}

qint64 requireInt64(const QJsonObject& object, const char* key) {
    return toInt64(require(object, key), QLatin1String(key));
}

int requireInt(const QJsonObject& object, const char* key) {
    return toInt(require(object, key), QLatin1String(key));
}

}  // namespace json
}  // namespace velmar
