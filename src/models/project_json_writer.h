#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmar {

// Writes JSON text straight into one buffer, byte for byte as QJsonDocument::toJson() writes the
// same values (indented or compact), for callers that give each object's keys in sorted order.
// A project of 10000 clips is encoded on every save and before every open and quit; building a
// QJsonObject first would take several times as long as the text itself.
//
// A number that is not finite is written as null, as QJsonDocument does, and remembered:
// allFinite() then says the text must not be used. Not thread-safe; one per encoding.
class ProjectJsonWriter {
  public:
    enum class Style { indented, compact };

    explicit ProjectJsonWriter(Style style, std::size_t expectedSize = 0);

    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    // The next member's key (ASCII, needing no escapes); its value follows.
    void key(std::string_view name);

    void string(const QString& text);
    void integer(qint64 value);
    void number(double value);
    void boolean(bool value);

    bool allFinite() const { return finite_; }
    // The text; the writer is empty afterwards.
    QByteArray take();

  private:
    // Before a value in an array, or a key in an object: the separator and the indentation.
    void nextItem();
    void open(char bracket);
    void close(char bracket);
    void indent(std::size_t depth);
    void escapedRest(const char16_t* from, const char16_t* end);

    struct CachedNumber {
        std::uint64_t bits = 0;
        std::uint8_t length = 0;  // 0: empty
        std::array<char, 31> text{};
    };

    std::string out_;
    // Per open container: how many items it has so far.
    std::vector<std::size_t> items_;
    bool indented_;
    bool finite_ = true;
    bool afterKey_ = false;
    // The text of recent doubles: a project repeats a few values (transforms, durations) many
    // times, and Qt's shortest form costs an allocation each.
    std::array<CachedNumber, 64> numbers_{};
};

}  // namespace velmar
