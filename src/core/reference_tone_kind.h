#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <functional>
#include <optional>

namespace velmar {

// One of the six reference signals that can replace program audio for line-up. A small value
// type that converts to its `Value`, so it is compared, switched on and stored like an enum;
// it carries the raw value (as stored) and the label (written to the operation log and shown
// for the kind, never translated). Immutable; any thread.
class ReferenceToneKind {
  public:
    enum Value : int {
        sine1k20,       // 1 kHz at -20 dBFS peak, both channels
        sine1k18,       // 1 kHz at -18 dBFS peak, both channels
        sine1k20Left,   // 1 kHz at -20 dBFS on the left only
        sine1k20Right,  // 1 kHz at -20 dBFS on the right only
        ebuIdent,       // 1 kHz at -18 dBFS, left interrupted for 0.25 s every 3 s
        pinkNoise20,    // pink noise at -20 dBFS RMS, independent per channel
    };

    constexpr ReferenceToneKind(Value value) : value_(value) {}  // NOLINT: implicit like an enum
    constexpr operator Value() const { return value_; }          // NOLINT
    constexpr Value value() const { return value_; }

    // Every kind, in menu order.
    static const std::array<ReferenceToneKind, 6>& allCases();
    // The kind whose raw value this is; nothing for any other text.
    static std::optional<ReferenceToneKind> fromRawValue(const QString& raw);

    // "sine1k20" ...: the identifier, as stored.
    QString rawValue() const;
    QString id() const { return rawValue(); }
    // "1kHz -20dBFS" ...
    QString label() const;

  private:
    Value value_;
};

}  // namespace velmar

template <>
struct std::hash<velmar::ReferenceToneKind> {
    std::size_t operator()(velmar::ReferenceToneKind kind) const noexcept {
        return std::hash<int>()(static_cast<int>(kind.value()));
    }
};
