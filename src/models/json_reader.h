#pragma once

#include "models/json_decoding.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <optional>
#include <stdexcept>

namespace velmar {

// Strict reading of one JSON object for the stored documents. A key that is absent or null is
// "absent"; a present key of the wrong type fails with Error. Integers must be integral numbers
// within the 64-bit range (1.5 and 1e19 fail); numbers are finite (the parser refuses 1e400 and
// NaN texts). The errors name the path of the value, such as groups[2].clips[0].pixelWidth.
// A value type; no state beyond the object it reads.
class JsonReader {
  public:
    // The model's one decoding error; error() makes one that names the path of the value.
    using Error = JsonDecodingError;
    static JsonDecodingError error(const QString& path, const QString& reason);

    JsonReader(QJsonObject object, QString path);

    // Reads the object of a value, failing when it is not an object.
    static JsonReader object(const QJsonValue& value, const QString& path);
    // The object at `index` of the array at `arrayPath`; the element's path is only put together
    // when an error needs it, which keeps reading large arrays cheap.
    static JsonReader element(const QJsonValue& value, const QString& arrayPath, qsizetype index);
    // Parses a whole document whose top level must be an object.
    static JsonReader document(const QByteArray& json);
    // The value as an integer or as a finite number by the rules above, or nothing when it is
    // not one. No error (nor its path) is built: for readers that check many values quickly and
    // read again through the throwing functions only when something is wrong.
    static std::optional<long long> asInteger(const QJsonValue& value);
    static std::optional<double> asNumber(const QJsonValue& value);
    static long long toInteger(const QJsonValue& value, const QString& path);
    static double toNumber(const QJsonValue& value, const QString& path);
    static QString toString(const QJsonValue& value, const QString& path);
    // Whether every number in a value about to be written is finite: JSON has no NaN or
    // infinity, and a writer that put null in their place would produce a file that no longer
    // loads. Writers refuse to encode instead.
    static bool allNumbersFinite(const QJsonValue& value);

    bool has(QLatin1StringView key) const;
    QString pathOf(QLatin1StringView key) const;
    const QJsonObject& json() const { return object_; }
    QString path() const;

    std::optional<long long> optionalInteger(QLatin1StringView key) const;
    std::optional<double> optionalNumber(QLatin1StringView key) const;
    std::optional<QString> optionalString(QLatin1StringView key) const;
    std::optional<bool> optionalBool(QLatin1StringView key) const;
    std::optional<QJsonArray> optionalArray(QLatin1StringView key) const;
    std::optional<JsonReader> optionalObject(QLatin1StringView key) const;
    // The present value of any type, for the value types' own fromJson().
    std::optional<QJsonValue> optionalValue(QLatin1StringView key) const;

    long long integer(QLatin1StringView key) const;
    double number(QLatin1StringView key) const;
    QString string(QLatin1StringView key) const;
    bool boolean(QLatin1StringView key) const;
    QJsonArray array(QLatin1StringView key) const;
    JsonReader child(QLatin1StringView key) const;

  private:
    QJsonValue present(QLatin1StringView key) const;  // undefined when absent or null
    [[noreturn]] void missing(QLatin1StringView key) const;

    QJsonObject object_;
    QString path_;
    qsizetype index_ = -1;  // when not negative, path_ is the array's path and this the index
};

}  // namespace velmar
