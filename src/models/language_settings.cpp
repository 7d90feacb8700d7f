#include "models/language_settings.h"

#include "models/raw_enum.h"
#include "platform/base/user_defaults.h"

#include <QCoreApplication>
#include <QEvent>
#include <QLocale>

namespace velmar {
namespace {

constexpr RawCase<AppLanguage> kLanguageCases[] = {
    {AppLanguage::system, "system"}, {AppLanguage::ja, "ja"}, {AppLanguage::en, "en"}};
static_assert(raw_enum::inCaseOrder(kLanguageCases));

}  // namespace

QString rawValue(AppLanguage language) {
    return raw_enum::rawValue(kLanguageCases, language);
}

std::optional<AppLanguage> appLanguageFromRaw(const QString& raw) {
    return raw_enum::fromRawValue<AppLanguage>(kLanguageCases, raw);
}

LanguageSettings& LanguageSettings::shared() {
    static LanguageSettings* settings = new LanguageSettings(UserDefaults::standard());
    return *settings;
}

LanguageSettings::LanguageSettings(UserDefaults& defaults, SystemLanguages systemLanguages)
    : defaults_(defaults), systemLanguages_(std::move(systemLanguages)) {
    if (!systemLanguages_) {
        systemLanguages_ = [] { return QLocale::system().uiLanguages(); };
    }
    const QString stored = defaults_.string("appLanguage").value_or("system");
    const auto parsed = appLanguageFromRaw(stored);
    language_ = parsed.value_or(AppLanguage::system);
}

void LanguageSettings::setLanguage(AppLanguage language) {
    const bool changed = language != language_;
    language_ = language;
    defaults_.set("appLanguage", rawValue(language));
    if (language == AppLanguage::system) {
        defaults_.remove("AppleLanguages");
    } else {
        defaults_.set("AppleLanguages", QStringList{rawValue(language)});
    }
    if (changed) {
        emit languageChanged(language);
        announceLanguageChange();
    }
}

// Qt's own path for a new language: the application hands QEvent::LanguageChange to every
// top-level window, and each widget passes it on to its children; every widget that shows text
// looks its texts up again there. Delivered before this returns, so the change is seen at once.
void LanguageSettings::announceLanguageChange() {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    QEvent change(QEvent::LanguageChange);
    QCoreApplication::sendEvent(app, &change);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LanguageChange);
}

AppLanguage LanguageSettings::effective() const {
    if (language_ != AppLanguage::system) return language_;
    const QStringList preferred = systemLanguages_();
    const QString first = preferred.isEmpty() ? QStringLiteral("en") : preferred.first();
    return first.startsWith(QLatin1String("ja")) ? AppLanguage::ja : AppLanguage::en;
}

}  // namespace velmar
