#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <vector>

namespace velmar {

// One of the sixteen line-up test patterns that can replace the program picture. A small value
// type: it converts to its `Value`, so it is compared, switched on and stored like an enum,
// and it carries the pattern's raw value, menu title and short label. Immutable; any thread.
class TestPatternKind {
  public:
    enum Value : int {
        colorBars75,
        colorBars100,
        smpteBars,
        grayscale11,
        ramps,
        white,
        black,
        red,
        green,
        blue,
        gray50,
        crosshatch,
        edgeFrame,
        pixelLines,
        pixelChecker,
        ledCabinet,
    };

    // The four sections of the test-pattern menu; each pattern belongs to exactly one.
    enum class Group { colorBars, toneScales, singleColors, geometry };

    constexpr TestPatternKind(Value value) : value_(value) {}  // NOLINT: implicit like an enum
    constexpr operator Value() const { return value_; }        // NOLINT
    constexpr Value value() const { return value_; }

    // Every pattern, in menu order.
    static const std::array<TestPatternKind, 16>& allCases();
    // The patterns of one group, in menu order.
    static std::vector<TestPatternKind> kinds(Group group);
    // The pattern whose raw value this is; nothing for any other text.
    static std::optional<TestPatternKind> fromRawValue(const QString& raw);

    // "colorBars75" ...: the identifier, as stored.
    QString rawValue() const;
    QString id() const { return rawValue(); }
    // The Japanese menu title, a key for localized().
    const char* titleKey() const;
    // The menu title in the interface language.
    QString title() const;
    // The untranslated label used in messages and log lines ("BARS 75%" ...).
    QString shortLabel() const;
    Group group() const;

  private:
    Value value_;
};

}  // namespace velmar

template <>
struct std::hash<velmar::TestPatternKind> {
    std::size_t operator()(velmar::TestPatternKind kind) const noexcept {
        return std::hash<int>()(static_cast<int>(kind.value()));
    }
};
