#include "models/language_settings.h"

#include "platform/base/user_defaults.h"

#include <QLocale>

namespace velmar {

QString rawValue(AppLanguage language) {
    switch (language) {
        case AppLanguage::system: return QStringLiteral("system");
        case AppLanguage::ja: return QStringLiteral("ja");
        case AppLanguage::en: return QStringLiteral("en");
    }
    return QStringLiteral("system");
}

std::optional<AppLanguage> appLanguageFromRaw(const QString& raw) {
    for (AppLanguage l : allAppLanguages) {
        if (rawValue(l) == raw) return l;
    }
    return std::nullopt;
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
    if (changed) emit languageChanged(language);
}

AppLanguage LanguageSettings::effective() const {
    if (language_ != AppLanguage::system) return language_;
    const QStringList preferred = systemLanguages_();
    const QString first = preferred.isEmpty() ? QStringLiteral("en") : preferred.first();
    return first.startsWith(QLatin1String("ja")) ? AppLanguage::ja : AppLanguage::en;
}

}  // namespace velmar
