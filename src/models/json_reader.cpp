#include "models/json_reader.h"

#include <QJsonDocument>

#include <algorithm>
#include <cmath>
#include <limits>

namespace velmar {

namespace {

[[noreturn]] void wrongType(const QString& path, const char* expected) {
    throw JsonReader::error(path, QStringLiteral("expected %1").arg(QLatin1String(expected)));
}

}  // namespace

JsonDecodingError JsonReader::error(const QString& path, const QString& reason) {
    return JsonDecodingError(QStringLiteral("The data is not valid (") +
                             (path.isEmpty() ? QStringLiteral("top level") : path) +
                             QStringLiteral("): ") + reason);
}

JsonReader::JsonReader(QJsonObject object, QString path)
    : object_(std::move(object)), path_(std::move(path)) {}

JsonReader JsonReader::object(const QJsonValue& value, const QString& path) {
    if (!value.isObject()) wrongType(path, "an object");
    return JsonReader(value.toObject(), path);
}

JsonReader JsonReader::element(const QJsonValue& value, const QString& arrayPath, qsizetype index) {
    if (!value.isObject()) wrongType(arrayPath + QStringLiteral("[%1]").arg(index), "an object");
    JsonReader reader(value.toObject(), arrayPath);
    reader.index_ = index;
    return reader;
}

QString JsonReader::path() const {
    return index_ < 0 ? path_ : path_ + QStringLiteral("[%1]").arg(index_);
}

JsonReader JsonReader::document(const QByteArray& json) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        throw error(
            QString(),
            QStringLiteral("%1 at offset %2").arg(parseError.errorString()).arg(parseError.offset));
    }
    if (!document.isObject()) wrongType(QString(), "an object");
    return JsonReader(document.object(), QString());
}

std::optional<long long> JsonReader::asInteger(const QJsonValue& value) {
    if (!value.isDouble()) return std::nullopt;
    const double d = value.toDouble();
    // 2^63 is exactly representable; everything from it up is outside the 64-bit range.
    if (!std::isfinite(d) || d != std::trunc(d) || d < -9223372036854775808.0 ||
        d >= 9223372036854775808.0) {
        return std::nullopt;
    }
    // toInteger() is exact for integers the parser kept as such; d covers integral doubles.
    const qint64 exact = value.toInteger(std::numeric_limits<qint64>::min());
    return exact != std::numeric_limits<qint64>::min() ? exact : static_cast<long long>(d);
}

std::optional<double> JsonReader::asNumber(const QJsonValue& value) {
    if (!value.isDouble() || !std::isfinite(value.toDouble())) return std::nullopt;
    return value.toDouble();
}

long long JsonReader::toInteger(const QJsonValue& value, const QString& path) {
    const auto result = asInteger(value);
    if (!result) wrongType(path, "an integer");
    return *result;
}

double JsonReader::toNumber(const QJsonValue& value, const QString& path) {
    const auto result = asNumber(value);
    if (!result) wrongType(path, "a number");
    return *result;
}

QString JsonReader::toString(const QJsonValue& value, const QString& path) {
    if (!value.isString()) wrongType(path, "a string");
    return value.toString();
}

bool JsonReader::allNumbersFinite(const QJsonValue& value) {
    if (value.isDouble()) return std::isfinite(value.toDouble());
    if (value.isArray()) {
        const QJsonArray array = value.toArray();
        return std::all_of(array.begin(), array.end(),
                           [](const QJsonValue& v) { return allNumbersFinite(v); });
    }
    if (value.isObject()) {
        const QJsonObject object = value.toObject();
        return std::all_of(object.begin(), object.end(),
                           [](const QJsonValue& v) { return allNumbersFinite(v); });
    }
    return true;
}

bool JsonReader::has(QLatin1StringView key) const {
    return !present(key).isUndefined();
}

QString JsonReader::pathOf(QLatin1StringView key) const {
    const QString base = path();
    return base.isEmpty() ? QString(key) : base + u'.' + key;
}

QJsonValue JsonReader::present(QLatin1StringView key) const {
    const QJsonValue value = object_.value(key);
    return value.isNull() ? QJsonValue(QJsonValue::Undefined) : value;
}

void JsonReader::missing(QLatin1StringView key) const {
    throw error(pathOf(key), QStringLiteral("required key is missing"));
}

std::optional<long long> JsonReader::optionalInteger(QLatin1StringView key) const {
    const QJsonValue value = present(key);
    if (value.isUndefined()) return std::nullopt;
    const auto result = asInteger(value);
    if (!result) wrongType(pathOf(key), "an integer");
    return result;
}

std::optional<double> JsonReader::optionalNumber(QLatin1StringView key) const {
    const QJsonValue value = present(key);
    if (value.isUndefined()) return std::nullopt;
    const auto result = asNumber(value);
    if (!result) wrongType(pathOf(key), "a number");
    return result;
}

std::optional<QString> JsonReader::optionalString(QLatin1StringView key) const {
    const QJsonValue value = present(key);
    if (value.isUndefined()) return std::nullopt;
    if (!value.isString()) wrongType(pathOf(key), "a string");
    return value.toString();
}

std::optional<bool> JsonReader::optionalBool(QLatin1StringView key) const {
    const QJsonValue value = present(key);
    if (value.isUndefined()) return std::nullopt;
    if (!value.isBool()) wrongType(pathOf(key), "true or false");
    return value.toBool();
}

std::optional<QJsonArray> JsonReader::optionalArray(QLatin1StringView key) const {
    const QJsonValue value = present(key);
    if (value.isUndefined()) return std::nullopt;
    if (!value.isArray()) wrongType(pathOf(key), "an array");
    return value.toArray();
}

std::optional<JsonReader> JsonReader::optionalObject(QLatin1StringView key) const {
    const QJsonValue value = present(key);
    if (value.isUndefined()) return std::nullopt;
    if (!value.isObject()) wrongType(pathOf(key), "an object");
    return JsonReader(value.toObject(), pathOf(key));
}

std::optional<QJsonValue> JsonReader::optionalValue(QLatin1StringView key) const {
    const QJsonValue value = present(key);
    if (value.isUndefined()) return std::nullopt;
    return value;
}

long long JsonReader::integer(QLatin1StringView key) const {
    if (auto v = optionalInteger(key)) return *v;
    missing(key);
}

double JsonReader::number(QLatin1StringView key) const {
    if (auto v = optionalNumber(key)) return *v;
    missing(key);
}

QString JsonReader::string(QLatin1StringView key) const {
    if (auto v = optionalString(key)) return *v;
    missing(key);
}

bool JsonReader::boolean(QLatin1StringView key) const {
    if (auto v = optionalBool(key)) return *v;
    missing(key);
}

QJsonArray JsonReader::array(QLatin1StringView key) const {
    if (auto v = optionalArray(key)) return *v;
    missing(key);
}

JsonReader JsonReader::child(QLatin1StringView key) const {
    if (auto v = optionalObject(key)) return *v;
    missing(key);
}

}  // namespace velmar
