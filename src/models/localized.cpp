#include "models/localized.h"

#include "models/language_settings.h"

#include <QDir>
#include <QTranslator>

#include <charconv>
#include <cmath>
#include <memory>
#include <optional>
#include <vector>

namespace velmar {
namespace {

// Every English translation file compiled into the program (one per area of the code).
class EnglishStrings {
  public:
    EnglishStrings() {
        const QDir dir(QStringLiteral(":/i18n"));
        for (const QString& name : dir.entryList({QStringLiteral("*.qm")}, QDir::Files)) {
            auto translator = std::make_unique<QTranslator>();
            if (translator->load(dir.filePath(name))) translators_.push_back(std::move(translator));
        }
    }
    QString lookup(const QString& key) const {
        const QByteArray utf8 = key.toUtf8();
        for (const auto& t : translators_) {
            const QString text = t->translate("Velmar", utf8.constData());
            if (!text.isEmpty()) return text;
        }
        return key;
    }

  private:
    std::vector<std::unique_ptr<QTranslator>> translators_;
};

const EnglishStrings& english() {
    static const EnglishStrings strings;
    return strings;
}

std::optional<QString> formatValue(const FormatArg& value, QChar conversion, int precision) {
    if (conversion == 'd') {
        if (const auto* i = std::get_if<long long>(&value)) return QString::number(*i);
        return std::nullopt;
    }
    if (conversion == '@') {
        if (const auto* s = std::get_if<QString>(&value)) return *s;
        return std::nullopt;
    }
    // 'f': as C's printf does it in the POSIX locale (a point, exact ties to even), whatever
    // locale the process runs in.
    double number = 0;
    if (const auto* d = std::get_if<double>(&value)) {
        number = *d;
    } else if (const auto* i = std::get_if<long long>(&value)) {
        number = static_cast<double>(*i);
    } else {
        return std::nullopt;
    }
    if (std::isnan(number)) return QStringLiteral("nan");
    if (std::isinf(number)) return number < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
    char text[400];
    const auto result =
        std::to_chars(text, text + sizeof text, number, std::chars_format::fixed, precision);
    if (result.ec != std::errc()) return std::nullopt;
    return QString::fromLatin1(text, result.ptr - text);
}

}  // namespace

QString localized(const QString& key, AppLanguage language) {
    if (language == AppLanguage::en) return english().lookup(key);
    return key;
}

QString localized(const QString& key) {
    return localized(key, LanguageSettings::shared().effective());
}

QString localized(const char* key) {
    return localized(QString::fromUtf8(key));
}

QString formatMessage(const QString& pattern, std::initializer_list<FormatArg> values) {
    const std::vector<FormatArg> args(values);
    QString out;
    out.reserve(pattern.size() + 16);
    size_t nextArg = 0;
    const qsizetype n = pattern.size();
    qsizetype i = 0;
    while (i < n) {
        const QChar c = pattern[i];
        if (c != '%' || i + 1 >= n) {
            out += c;
            ++i;
            continue;
        }
        if (pattern[i + 1] == '%') {
            out += '%';
            i += 2;
            continue;
        }
        // %[N$][.P](lld|ld|d|@|f)
        qsizetype j = i + 1;
        int position = -1;
        qsizetype k = j;
        while (k < n && pattern[k].isDigit()) ++k;
        if (k > j && k < n && pattern[k] == '$') {
            position = pattern.mid(j, k - j).toInt() - 1;
            j = k + 1;
        }
        int precision = 6;
        if (j < n && pattern[j] == '.') {
            qsizetype p = j + 1;
            while (p < n && pattern[p].isDigit()) ++p;
            precision = std::min(pattern.mid(j + 1, p - j - 1).toInt(), 17);
            j = p;
        }
        QChar conversion;
        qsizetype end = j;
        if (pattern.mid(j, 3) == QLatin1String("lld")) {
            conversion = 'd';
            end = j + 3;
        } else if (pattern.mid(j, 2) == QLatin1String("ld")) {
            conversion = 'd';
            end = j + 2;
        } else if (j < n && (pattern[j] == 'd' || pattern[j] == '@' || pattern[j] == 'f')) {
            conversion = pattern[j];
            end = j + 1;
        }
        if (conversion.isNull()) {
            out += c;
            ++i;
            continue;
        }
        const size_t index = position >= 0 ? static_cast<size_t>(position) : nextArg++;
        std::optional<QString> text;
        if (index < args.size()) text = formatValue(args[index], conversion, precision);
        if (text) {
            out += *text;
        } else {
            out += pattern.mid(i, end - i);  // nothing fitting to insert: keep the placeholder
        }
        i = end;
    }
    return out;
}

QString localizedFormat(const char* key, std::initializer_list<FormatArg> values) {
    return formatMessage(localized(key), values);
}

}  // namespace velmar
