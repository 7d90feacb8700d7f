#include "models/project_json_writer.h"

#include <QLocale>

#include <charconv>
#include <cmath>
#include <cstring>

namespace velmar {

namespace {

char hexDigit(unsigned value) {
    return static_cast<char>(value < 10 ? '0' + value : 'a' + value - 10);
}

}  // namespace

ProjectJsonWriter::ProjectJsonWriter(Style style, std::size_t expectedSize)
    : indented_(style == Style::indented) {
    out_.reserve(expectedSize);
    items_.reserve(8);
}

void ProjectJsonWriter::indent(std::size_t depth) {
    out_.append(4 * depth, ' ');
}

void ProjectJsonWriter::nextItem() {
    if (afterKey_) {  // the value of a member: its key placed it
        afterKey_ = false;
        return;
    }
    if (items_.empty()) return;  // the document itself
    if (items_.back()++ > 0) out_ += ',';
    if (indented_) {
        out_ += '\n';
        indent(items_.size());
    }
}

void ProjectJsonWriter::open(char bracket) {
    nextItem();
    out_ += bracket;
    items_.push_back(0);
}

void ProjectJsonWriter::close(char bracket) {
    items_.pop_back();
    // Indented, even an empty container has its closing bracket on a line of its own.
    if (indented_) {
        out_ += '\n';
        indent(items_.size());
    }
    out_ += bracket;
    // The indented document ends with a line break.
    if (indented_ && items_.empty()) out_ += '\n';
}

void ProjectJsonWriter::beginObject() {
    open('{');
}

void ProjectJsonWriter::endObject() {
    close('}');
}

void ProjectJsonWriter::beginArray() {
    open('[');
}

void ProjectJsonWriter::endArray() {
    close(']');
}

void ProjectJsonWriter::key(std::string_view name) {
    nextItem();
    out_ += '"';
    out_ += name;
    out_ += indented_ ? "\": " : "\":";
    afterKey_ = true;
}

void ProjectJsonWriter::string(const QString& text) {
    nextItem();
    out_ += '"';
    const char16_t* at = reinterpret_cast<const char16_t*>(text.constData());
    const char16_t* const end = at + text.size();
    for (; at != end; ++at) {
        const char16_t c = *at;
        if (c >= 0x80 || c < 0x20 || c == u'"' || c == u'\\') break;
        out_ += static_cast<char>(c);
    }
    if (at != end) escapedRest(at, end);
    out_ += '"';
}

void ProjectJsonWriter::escapedRest(const char16_t* at, const char16_t* const end) {
    auto unicodeEscape = [&](char16_t c) {
        const char code[] = {'\\',
                             'u',
                             hexDigit((c >> 12) & 0xf),
                             hexDigit((c >> 8) & 0xf),
                             hexDigit((c >> 4) & 0xf),
                             hexDigit(c & 0xf)};
        out_.append(code, sizeof code);
    };
    for (; at != end; ++at) {
        const char16_t c = *at;
        if (c < 0x80) {
            switch (c) {
                case u'"':
                    out_ += "\\\"";
                    break;
                case u'\\':
                    out_ += "\\\\";
                    break;
                case u'\b':
                    out_ += "\\b";
                    break;
                case u'\f':
                    out_ += "\\f";
                    break;
                case u'\n':
                    out_ += "\\n";
                    break;
                case u'\r':
                    out_ += "\\r";
                    break;
                case u'\t':
                    out_ += "\\t";
                    break;
                default:
                    if (c < 0x20) {
                        unicodeEscape(c);
                    } else {
                        out_ += static_cast<char>(c);
                    }
            }
        } else if (c < 0x800) {
            out_ += static_cast<char>(0xc0 | (c >> 6));
            out_ += static_cast<char>(0x80 | (c & 0x3f));
        } else if (c < 0xd800 || c > 0xdfff) {
            out_ += static_cast<char>(0xe0 | (c >> 12));
            out_ += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
            out_ += static_cast<char>(0x80 | (c & 0x3f));
        } else if (c < 0xdc00 && at + 1 != end && at[1] >= 0xdc00 && at[1] <= 0xdfff) {
            const char32_t u = 0x10000 + ((char32_t(c) - 0xd800) << 10) + (at[1] - 0xdc00);
            ++at;
            out_ += static_cast<char>(0xf0 | (u >> 18));
            out_ += static_cast<char>(0x80 | ((u >> 12) & 0x3f));
            out_ += static_cast<char>(0x80 | ((u >> 6) & 0x3f));
            out_ += static_cast<char>(0x80 | (u & 0x3f));
        } else {
            // A lone surrogate has no UTF-8 form: written as an escape.
            unicodeEscape(c);
        }
    }
}

void ProjectJsonWriter::integer(qint64 value) {
    nextItem();
    char buffer[24];
    out_.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

void ProjectJsonWriter::number(double value) {
    nextItem();
    if (!std::isfinite(value)) {
        finite_ = false;
        out_ += "null";
        return;
    }
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    CachedNumber& slot = numbers_[(bits ^ (bits >> 29) ^ (bits >> 47)) % numbers_.size()];
    if (slot.length == 0 || slot.bits != bits) {
        // Qt's own shortest form, so the text is QJsonDocument's to the byte: whole numbers
        // below 2^64 without an exponent, the others as short as they go.
        const double magnitude = std::abs(value);
        const bool whole = magnitude < 18446744073709551616.0 && magnitude == std::trunc(magnitude);
        const QByteArray text =
            QByteArray::number(value, whole ? 'f' : 'g', QLocale::FloatingPointShortest);
        if (text.size() > static_cast<qsizetype>(slot.text.size())) {
            out_.append(text.constData(), static_cast<std::size_t>(text.size()));
            return;
        }
        slot.bits = bits;
        slot.length = static_cast<std::uint8_t>(text.size());
        std::memcpy(slot.text.data(), text.constData(), slot.length);
    }
    out_.append(slot.text.data(), slot.length);
}

void ProjectJsonWriter::boolean(bool value) {
    nextItem();
    out_ += value ? "true" : "false";
}

QByteArray ProjectJsonWriter::take() {
    QByteArray result(out_.data(), static_cast<qsizetype>(out_.size()));
    out_.clear();
    items_.clear();
    afterKey_ = false;
    return result;
}

}  // namespace velmar
