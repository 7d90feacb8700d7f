#include "models/project_json_reader.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace velmar {

namespace {

using ClipRecord = PlayoutProject::ClipRecord;
using GroupRecord = PlayoutProject::GroupRecord;
using MarkerRecord = PlayoutProject::MarkerRecord;

// Thrown inside the reader for anything it does not take; caught at its entry.
struct NotTaken {};

// The length of a well-formed UTF-8 sequence at `p` (of a character that is neither a surrogate
// nor a noncharacter), or 0.
int utf8Length(const unsigned char* p, const unsigned char* end) {
    const auto cont = [&](int i) { return p + i < end && (p[i] & 0xc0) == 0x80; };
    const unsigned char c = p[0];
    if (c >= 0xc2 && c <= 0xdf) return cont(1) ? 2 : 0;
    if (c >= 0xe0 && c <= 0xef) {
        if (!cont(1) || !cont(2)) return 0;
        const char32_t u =
            (char32_t(c & 0x0f) << 12) | (char32_t(p[1] & 0x3f) << 6) | (p[2] & 0x3f);
        if (u < 0x800 || (u >= 0xd800 && u <= 0xdfff)) return 0;
        if ((u >= 0xfdd0 && u <= 0xfdef) || u >= 0xfffe) return 0;
        return 3;
    }
    if (c >= 0xf0 && c <= 0xf4) {
        if (!cont(1) || !cont(2) || !cont(3)) return 0;
        const char32_t u = (char32_t(c & 0x07) << 18) | (char32_t(p[1] & 0x3f) << 12) |
                           (char32_t(p[2] & 0x3f) << 6) | (p[3] & 0x3f);
        if (u < 0x10000 || u > 0x10ffff || (u & 0xfffe) == 0xfffe) return 0;
        return 4;
    }
    return 0;
}

class Reader {
  public:
    Reader(const char* begin, const char* end) : p_(begin), end_(end) {}

    const char* at() const { return p_; }

    void space() {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\r' || *p_ == '\t')) ++p_;
    }
    bool take(char c) {
        space();
        if (p_ < end_ && *p_ == c) {
            ++p_;
            return true;
        }
        return false;
    }
    void expect(char c) {
        if (!take(c)) throw NotTaken{};
    }
    bool atEnd() {
        space();
        return p_ == end_;
    }
    bool takeNull() {
        space();
        if (end_ - p_ >= 4 && std::string_view(p_, 4) == "null") {
            p_ += 4;
            return true;
        }
        return false;
    }

    // A key without escapes, and the colon after it.
    std::string_view key() {
        expect('"');
        const char* const start = p_;
        while (p_ < end_ && *p_ != '"') {
            if (*p_ == '\\') throw NotTaken{};
            ++p_;
        }
        if (p_ == end_) throw NotTaken{};
        const std::string_view name(start, static_cast<size_t>(p_ - start));
        ++p_;
        expect(':');
        return name;
    }

    QString string() {
        expect('"');
        const char* const start = p_;
        bool ascii = true;
        while (p_ < end_) {
            const unsigned char c = static_cast<unsigned char>(*p_);
            if (c == '"') break;
            if (c == '\\' || c < 0x20) return escapedString(start);
            if (c >= 0x80) {
                const int length = utf8Length(reinterpret_cast<const unsigned char*>(p_),
                                              reinterpret_cast<const unsigned char*>(end_));
                if (length == 0) throw NotTaken{};
                ascii = false;
                p_ += length;
                continue;
            }
            ++p_;
        }
        if (p_ == end_) throw NotTaken{};
        const qsizetype size = p_ - start;
        ++p_;
        return ascii ? QString::fromLatin1(start, size) : QString::fromUtf8(start, size);
    }

    qint64 integer() {
        space();
        const char* const start = p_;
        if (p_ < end_ && *p_ == '-') ++p_;
        const char* const digits = p_;
        while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
        const auto count = p_ - digits;
        // Plain integers of up to 18 digits, which the strict decoding keeps exactly too.
        if (count == 0 || count > 18 || (count > 1 && *digits == '0')) throw NotTaken{};
        if (p_ < end_ && (*p_ == '.' || *p_ == 'e' || *p_ == 'E')) throw NotTaken{};
        qint64 value = 0;
        std::from_chars(start, p_, value);
        return value;
    }

    double number() {
        space();
        const char* const start = p_;
        auto digits = [&] {
            const char* const first = p_;
            while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
            return p_ - first;
        };
        if (p_ < end_ && *p_ == '-') ++p_;
        const char* const whole = p_;
        const auto wholeDigits = digits();
        if (wholeDigits == 0 || (wholeDigits > 1 && *whole == '0')) throw NotTaken{};
        if (p_ < end_ && *p_ == '.') {
            ++p_;
            if (digits() == 0) throw NotTaken{};
        }
        if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
            ++p_;
            if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
            if (digits() == 0) throw NotTaken{};
        }
        double value = 0;
        const auto result = std::from_chars(start, p_, value);
        if (result.ec != std::errc() || result.ptr != p_ || !std::isfinite(value)) throw NotTaken{};
        return value;
    }

    // Passes over any value (checked later by the strict parser of the rest).
    void skipValue() {
        space();
        if (p_ == end_) throw NotTaken{};
        if (*p_ == '"') {
            skipString();
            return;
        }
        if (*p_ == '{' || *p_ == '[') {
            int depth = 0;
            while (p_ < end_) {
                const char c = *p_;
                if (c == '"') {
                    skipString();
                    continue;
                }
                ++p_;
                if (c == '{' || c == '[') ++depth;
                if ((c == '}' || c == ']') && --depth == 0) return;
            }
            throw NotTaken{};
        }
        const char* const start = p_;
        while (p_ < end_ && *p_ != ',' && *p_ != '}' && *p_ != ']' && *p_ != ' ' && *p_ != '\n' &&
               *p_ != '\r' && *p_ != '\t')
            ++p_;
        if (p_ == start) throw NotTaken{};
    }

  private:
    void skipString() {
        ++p_;
        while (p_ < end_ && *p_ != '"') p_ += *p_ == '\\' ? 2 : 1;
        if (p_ >= end_) throw NotTaken{};
        ++p_;
    }

    // The string from `start` (after its opening quote) with its escapes, as UTF-8 first.
    QString escapedString(const char* start) {
        p_ = start;
        QByteArray utf8;
        while (true) {
            if (p_ == end_) throw NotTaken{};
            const unsigned char c = static_cast<unsigned char>(*p_);
            if (c == '"') break;
            if (c < 0x20) throw NotTaken{};
            if (c >= 0x80) {
                const int length = utf8Length(reinterpret_cast<const unsigned char*>(p_),
                                              reinterpret_cast<const unsigned char*>(end_));
                if (length == 0) throw NotTaken{};
                utf8.append(p_, length);
                p_ += length;
                continue;
            }
            ++p_;
            if (c != '\\') {
                utf8.append(static_cast<char>(c));
                continue;
            }
            if (p_ == end_) throw NotTaken{};
            const char e = *p_++;
            static constexpr std::string_view escapes = "\"\\/bfnrt";
            static constexpr std::string_view meanings = "\"\\/\b\f\n\r\t";
            if (const size_t i = escapes.find(e); i != std::string_view::npos) {
                utf8.append(meanings[i]);
                continue;
            }
            unsigned code = 0;
            if (e != 'u' || end_ - p_ < 4 || std::from_chars(p_, p_ + 4, code, 16).ptr != p_ + 4)
                throw NotTaken{};
            p_ += 4;
            // Surrogates, paired or not, are left to the strict parser.
            if (code >= 0xd800 && code <= 0xdfff) throw NotTaken{};
            utf8.append(QString(QChar(static_cast<char16_t>(code))).toUtf8());
        }
        ++p_;
        return QString::fromUtf8(utf8);
    }

    const char* p_;
    const char* const end_;
};

// Each key once; any other key is not taken.
class Seen {
  public:
    void mark(unsigned bit) {
        if (bits_ & bit) throw NotTaken{};
        bits_ |= bit;
    }
    bool has(unsigned bits) const { return (bits_ & bits) == bits; }

  private:
    unsigned bits_ = 0;
};

// Calls member(key) for each member of an object.
template <class F>
void members(Reader& in, F&& member) {
    in.expect('{');
    if (in.take('}')) return;
    do {
        member(in.key());
    } while (in.take(','));
    in.expect('}');
}

template <class F>
void elements(Reader& in, F&& element) {
    in.expect('[');
    if (in.take(']')) return;
    do {
        element();
    } while (in.take(','));
    in.expect(']');
}

template <class T, class F>
void optional(Reader& in, std::optional<T>& out, F&& read) {
    if (in.takeNull()) {
        out.reset();
    } else {
        out = read();
    }
}

ClipTransform transform(Reader& in) {
    ClipTransform t;
    Seen seen;
    members(in, [&](std::string_view key) {
        using Field = ClipTransform::Field;
        Field::Value field;
        if (key == "offsetX") {
            field = Field::offsetX;
        } else if (key == "offsetY") {
            field = Field::offsetY;
        } else if (key == "scale") {
            field = Field::scale;
        } else if (key == "rotation") {
            field = Field::rotation;
        } else if (key == "opacity") {
            field = Field::opacity;
        } else {
            throw NotTaken{};
        }
        seen.mark(1u << field);
        t.setValue(field, in.number());
    });
    if (!seen.has(0x1f)) throw NotTaken{};
    return t;
}

ClipRecord clip(Reader& in) {
    ClipRecord clip;
    Seen seen;
    members(in, [&](std::string_view key) {
        if (key == "path") {
            seen.mark(1);
            clip.path = in.string();
        } else if (key == "displayName") {
            seen.mark(2);
            clip.displayName = in.string();
        } else if (key == "pixelWidth") {
            seen.mark(4);
            optional(in, clip.pixelWidth, [&] { return in.integer(); });
        } else if (key == "pixelHeight") {
            seen.mark(8);
            optional(in, clip.pixelHeight, [&] { return in.integer(); });
        } else if (key == "motion") {
            seen.mark(16);
            optional(in, clip.motion, [&] {
                const auto motion = MotionKind::fromRawValue(in.string());
                if (!motion) throw NotTaken{};
                return *motion;
            });
        } else if (key == "motionDuration") {
            seen.mark(32);
            optional(in, clip.motionDuration, [&] { return in.number(); });
        } else if (key == "transform") {
            seen.mark(64);
            optional(in, clip.transform, [&] { return transform(in); });
        } else if (key == "loopCount") {
            seen.mark(128);
            optional(in, clip.loopCount, [&] { return in.integer(); });
        } else if (key == "contentAnchorX") {
            seen.mark(256);
            optional(in, clip.contentAnchorX, [&] { return in.number(); });
        } else if (key == "contentAnchorY") {
            seen.mark(512);
            optional(in, clip.contentAnchorY, [&] { return in.number(); });
        } else {
            throw NotTaken{};
        }
    });
    if (!seen.has(1 | 2)) throw NotTaken{};
    return clip;
}

GroupRecord group(Reader& in) {
    GroupRecord group;
    Seen seen;
    members(in, [&](std::string_view key) {
        if (key == "name") {
            seen.mark(1);
            group.name = in.string();
        } else if (key == "selectedIndex") {
            seen.mark(2);
            group.selectedIndex = in.integer();
        } else if (key == "clips") {
            seen.mark(4);
            elements(in, [&] { group.clips.append(clip(in)); });
        } else if (key == "markers") {
            seen.mark(8);
            optional(in, group.markers, [&] {
                QList<MarkerRecord> list;
                elements(in, [&] {
                    MarkerRecord marker;
                    Seen fields;
                    members(in, [&](std::string_view name) {
                        if (name == "position") {
                            fields.mark(1);
                            marker.position = in.integer();
                        } else if (name == "name") {
                            fields.mark(2);
                            marker.name = in.string();
                        } else {
                            throw NotTaken{};
                        }
                    });
                    if (!fields.has(1 | 2)) throw NotTaken{};
                    list.append(std::move(marker));
                });
                return list;
            });
        } else {
            throw NotTaken{};
        }
    });
    if (!seen.has(1 | 2 | 4)) throw NotTaken{};
    return group;
}

}  // namespace

std::optional<ProjectJsonReader::Split> ProjectJsonReader::read(const QByteArray& json) {
    Reader in(json.constData(), json.constData() + json.size());
    Split split;
    split.rest.reserve(1024);
    split.rest.append('{');
    bool sawGroups = false;
    try {
        in.space();
        members(in, [&](std::string_view key) {
            if (key == "groups") {
                if (sawGroups) throw NotTaken{};
                sawGroups = true;
                if (in.takeNull()) return;
                QList<GroupRecord> groups;
                elements(in, [&] { groups.append(group(in)); });
                split.groups = std::move(groups);
                return;
            }
            // The member as written, from its key on, for the strict decoding.
            const char* const start = key.data() - 1;
            in.skipValue();
            if (split.rest.size() > 1) split.rest.append(',');
            split.rest.append(start, in.at() - start);
        });
        if (!in.atEnd()) return std::nullopt;
    } catch (const NotTaken&) {
        return std::nullopt;
    }
    split.rest.append('}');
    return split;
}

}  // namespace velmar
