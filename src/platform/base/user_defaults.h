#pragma once

#include <QList>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <memory>
#include <mutex>
#include <optional>

namespace velmar {

// Persisted settings: QSettings over a JSON file whose values keep their JSON types (bool,
// number, string, array of strings). Getters return a value only when the stored one has the
// asked-for type, so a value of the wrong type reads as the caller's default. Every write reaches
// the file at once. Safe to use from any thread.
class UserDefaults {
  public:
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

    // The QSettings format id of the typed JSON files.
    static QSettings::Format jsonFormat();

  private:
    QVariant raw(const QString& key) const;
    void store(const QString& key, const QVariant& value);

    mutable std::mutex mutex_;
    std::unique_ptr<QSettings> settings_;
};

}  // namespace velmar
