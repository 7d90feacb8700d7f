#pragma once

#include <QString>

#include <initializer_list>
#include <variant>

// Marks a Japanese literal as a string key without looking it up, for tables whose entries are
// looked up later with localized(). The translation check finds keys marked this way.
#define L10N_KEY(literal) literal

namespace velmar {

enum class AppLanguage;

// Looks a user-visible string up by its Japanese literal in the language in force
// (LanguageSettings::shared().effective()). A key with no entry gives the literal itself.
QString localized(const char* japaneseKey);
QString localized(const QString& japaneseKey);
// The same lookup in a given language (never `system`).
QString localized(const QString& japaneseKey, AppLanguage language);

// One value inserted into a message after lookup.
using FormatArg = std::variant<long long, QString, double>;

// Replaces the placeholders of a looked-up message with the values, in order: "%lld" (and "%d",
// "%ld") take an integer, "%@" a text, "%.2f" (any "%.Nf", and "%f") a number. "%N$..." picks the
// N-th value, for translations that reorder. "%%" is a percent sign. A placeholder whose value is
// missing or of another kind is left as it stands.
QString formatMessage(const QString& pattern, std::initializer_list<FormatArg> values);

// localized() then formatMessage().
QString localizedFormat(const char* japaneseKey, std::initializer_list<FormatArg> values);

}  // namespace velmar
