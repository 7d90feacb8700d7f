#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace velmar {

class UserDefaults;

// The interface language the user chose: follow the system, Japanese or English.
enum class AppLanguage { system, ja, en };

QString rawValue(AppLanguage language);
// "system", "ja" or "en"; anything else gives no value.
std::optional<AppLanguage> appLanguageFromRaw(const QString& raw);
inline constexpr AppLanguage allAppLanguages[] = {AppLanguage::system, AppLanguage::ja,
                                                  AppLanguage::en};

// Holds the interface-language choice, stores it in the user defaults ("appLanguage", and the
// preferred-languages list "AppleLanguages" that Qt's own texts follow at the next start), and
// says which language strings are looked up in. Written on the main thread.
class LanguageSettings : public QObject {
    Q_OBJECT
    Q_PROPERTY(velmar::AppLanguage language READ language WRITE setLanguage NOTIFY languageChanged)

  public:
    using SystemLanguages = std::function<QStringList()>;

    static LanguageSettings& shared();

    // systemLanguages gives the user's preferred languages, most preferred first; by default
    // QLocale::system().uiLanguages().
    explicit LanguageSettings(UserDefaults& defaults, SystemLanguages systemLanguages = {});

    AppLanguage language() const { return language_; }
    // Every write stores the choice, also a write of the same value.
    void setLanguage(AppLanguage language);

    // The language in force, never `system`.
    AppLanguage effective() const;

    // Sends QEvent::LanguageChange to every window of the application, as every change of
    // `language` does after languageChanged.
    static void announceLanguageChange();

  signals:
    void languageChanged(velmar::AppLanguage language);

  private:
    UserDefaults& defaults_;
    SystemLanguages systemLanguages_;
    AppLanguage language_ = AppLanguage::system;
};

}  // namespace velmar
