#include "ui/panels/duration_pad_model.h"

#include "models/localized.h"

#include <charconv>
#include <cmath>
#include <system_error>

namespace velmar {
namespace {

QString trimmedSpacesAndTabs(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    const auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
    while (begin < end && blank(text[begin])) ++begin;
    while (end > begin && blank(text[end - 1])) --end;
    return text.mid(begin, end - begin);
}

bool isDigitFace(const QString& face) {
    return face.size() == 1 && face[0] >= u'0' && face[0] <= u'9';
}

}  // namespace

const std::array<std::array<const char*, 3>, 4> DurationPadModel::kKeys = {{
    {"7", "8", "9"},
    {"4", "5", "6"},
    {"1", "2", "3"},
    {".", "0", DurationPadModel::kBackspaceKey},
}};

DurationPadModel::DurationPadModel(std::optional<double> initialValue, bool allowsNegative,
                                   bool allowsDefault)
    : allowsNegative_(allowsNegative), allowsDefault_(allowsDefault) {
    if (initialValue) text_ = QString::asprintf("%.2f", *initialValue);
    originalText_ = text_;
}

void DurationPadModel::press(const QString& face) {
    const bool sign = face == QString::fromUtf8(kSignKey);
    const bool backspace = face == QString::fromUtf8(kBackspaceKey);
    const bool point = face == u".";
    if (!(sign || backspace || point || isDigitFace(face))) return;
    if (sign && !allowsNegative_) return;

    // The first press on the untouched value replaces it.
    if (replaceOnNextKeypad_ && text_ == originalText_ && !sign) {
        text_ = backspace ? QString() : point ? QStringLiteral("0.") : face;
        replaceOnNextKeypad_ = false;
        return;
    }
    replaceOnNextKeypad_ = false;
    if (sign) {
        if (text_.startsWith(u'-')) {
            text_.remove(0, 1);
        } else if (!text_.isEmpty()) {
            text_.prepend(u'-');
        }
    } else if (backspace) {
        text_.chop(1);
    } else if (point) {
        if (!text_.contains(u'.')) text_.append(text_.isEmpty() ? QStringLiteral("0.") : ".");
    } else {
        const qsizetype counted = text_.size() - (text_.startsWith(u'-') ? 1 : 0);
        if (counted < kMaxCharacters) text_.append(face);
    }
}

bool DurationPadModel::isValid() const {
    if (trimmedSpacesAndTabs(text_).isEmpty()) return allowsDefault_;
    const std::optional<double> value = parsed();
    return value && std::isfinite(*value);
}

std::optional<std::optional<double>> DurationPadModel::commit() const {
    if (!isValid()) return std::nullopt;
    if (trimmedSpacesAndTabs(text_).isEmpty()) {
        return std::optional<std::optional<double>>(std::in_place, std::nullopt);
    }
    return std::optional<std::optional<double>>(std::in_place, parsed());
}

std::optional<double> DurationPadModel::parse(const QString& text) {
    const QByteArray bytes = trimmedSpacesAndTabs(text).toUtf8();
    const char* begin = bytes.constData();
    const char* end = begin + bytes.size();
    // std::from_chars takes a "-" but no "+"; a "+" may not be followed by another sign.
    if (begin != end && *begin == '+') {
        ++begin;
        if (begin != end && (*begin == '-' || *begin == '+')) return std::nullopt;
    }
    if (begin == end) return std::nullopt;
    double value = 0;
    const auto [ptr, ec] = std::from_chars(begin, end, value, std::chars_format::general);
    if (ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

QString DurationPadModel::rangeHint(double lower, double upper) {
    return localizedFormat("%.2f 〜 %.2f", {lower, upper});
}

}  // namespace velmar
