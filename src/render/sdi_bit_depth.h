#pragma once

#include <QString>

#include <array>
#include <optional>

namespace velmar {

// How the SDI output carries the canvas, as the operator chose it and the settings store it.
// A small value wrapping an enumeration, compared and switched on like one.
//
// The raw values are crossed on purpose and must stay so, because stored settings hold them:
//   eightBit        "eightBit"       8-bit BGRA fill and key
//   tenBit          "tenBitFillKey"  10-bit fill and key, 'Ay10' (AY10Packer)
//   tenBitFillOnly  "tenBit"         10-bit fill only, v210 (V210Packer)
class SDIBitDepth {
  public:
    enum Value : unsigned char { eightBit, tenBit, tenBitFillOnly };

    // Implicit on purpose, like the enumeration it wraps.
    constexpr SDIBitDepth(Value value = eightBit) : value_(value) {}  // NOLINT
    constexpr operator Value() const { return value_; }               // NOLINT

    // All three, in the order above.
    static const std::array<SDIBitDepth, 3>& allCases();

    QString rawValue() const;
    // Nothing for any text that is not one of the three raw values.
    static std::optional<SDIBitDepth> fromRawValue(const QString& raw);

  private:
    Value value_;
};

}  // namespace velmar
