#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>
#include <stdexcept>

namespace velmar {

// The one error of decoding the JSON of project values. Every fromJson() of the model throws it
// for a missing required key, a JSON null where a value is required, a value of the wrong type, a
// number that is not finite or an integer that is not integral or out of range, and an unknown
// enumeration raw value. It fails the whole decode of the enclosing document; the message is
// plain technical text (not looked up) that names the offending key.
class JsonDecodingError : public std::runtime_error {
  public:
    explicit JsonDecodingError(const QString& message);
    QString message() const { return message_; }

  private:
    QString message_;
};

// Strict readers used by the fromJson() functions; each throws JsonDecodingError. `what` names
// the value in the message.
namespace json {

// The value under `key`; absent or null is an error.
QJsonValue require(const QJsonObject& object, const char* key);
// The value under `key`, or none when it is absent or null (for keys that may be left out).
std::optional<QJsonValue> optional(const QJsonObject& object, const char* key);
QJsonObject toObject(const QJsonValue& value, const QString& what);
QString toString(const QJsonValue& value, const QString& what);
bool toBool(const QJsonValue& value, const QString& what);
// A finite number (integers are numbers too).
double toDouble(const QJsonValue& value, const QString& what);
// A whole number (3 and 3.0 are, 3.5 is not) that fits the target type.
qint64 toInt64(const QJsonValue& value, const QString& what);
int toInt(const QJsonValue& value, const QString& what);

// require() followed by the conversion, named by the key.
QJsonObject requireObject(const QJsonObject& object, const char* key);
QString requireString(const QJsonObject& object, const char* key);
double requireDouble(const QJsonObject& object, const char* key);
qint64 requireInt64(const QJsonObject& object, const char* key);
int requireInt(const QJsonObject& object, const char* key);

}  // namespace json
}  // namespace velmar
