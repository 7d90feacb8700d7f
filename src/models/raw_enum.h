#pragma once

#include "models/json_decoding.h"

#include <QJsonValue>
#include <QLatin1String>
#include <QString>

#include <array>
#include <cstddef>
#include <optional>
#include <utility>

namespace velmar {

// A case of an enumeration and the text it is stored as (its raw value).
template <typename E>
struct RawCase {
    E value;
    const char* raw;
};

// What the small enumeration types stored by raw value share. Each type keeps one table of its
// cases in declaration order, {case, "raw"} (a row may carry more columns; these functions read
// only `.value` and `.raw`), and implements allCases, rawValue, fromRawValue and fromJson with
// them. Raw values are ASCII. `T` is the type handed out: the wrapper class or the enum itself.
namespace raw_enum {

// True when the table lists the cases 0, 1, 2, ... in order, so that a case indexes its row.
template <typename Row, std::size_t N>
constexpr bool inCaseOrder(const Row (&table)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
        if (static_cast<std::size_t>(table[i].value) != i) return false;
    }
    return true;
}

template <typename T, typename Row, std::size_t N>
constexpr std::array<T, N> allCases(const Row (&table)[N]) {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
        return std::array<T, N>{T(table[I].value)...};
    }
    (std::make_index_sequence<N>());
}

template <typename E, typename Row, std::size_t N>
QString rawValue(const Row (&table)[N], E value) {
    const auto index = static_cast<std::size_t>(value);
    return index < N ? QString::fromLatin1(table[index].raw) : QString();
}

// The case whose raw value this is (exact, case-sensitive); nothing for any other text.
template <typename T, typename Row, std::size_t N>
std::optional<T> fromRawValue(const Row (&table)[N], const QString& raw) {
    for (const Row& row : table) {
        if (raw == QLatin1String(row.raw)) return T(row.value);
    }
    return std::nullopt;
}

// The case a JSON string names. JsonDecodingError for a value that is not a string (named by
// `key`) and for a string that names no case: unknown <noun> "<text>".
template <typename T, typename Row, std::size_t N>
T fromJson(const Row (&table)[N], const QJsonValue& json, const char* key, const char* noun) {
    const QString raw = json::toString(json, QLatin1String(key));
    if (const auto value = fromRawValue<T>(table, raw)) return *value;
    throw JsonDecodingError(QStringLiteral("unknown %1 \"%2\"").arg(QLatin1String(noun), raw));
}

}  // namespace raw_enum
}  // namespace velmar
