#pragma once

#include "models/clip.h"

#include <QList>
#include <QSet>
#include <QUuid>

#include <optional>
#include <type_traits>

namespace velmar {

// The value of one field shared by the clips of `clips` whose id is in `ids`, found in one walk
// of the list that stops at the first difference (a whole tab of targets is 10000 clips, and the
// motion panel asks at each rebuild). None when no clip is among them or their values differ.
// A field that is itself optional gives an engaged result holding an absent value when every
// such clip lacks it.
template <class Field>
auto sharedAmong(const QList<Clip>& clips, const QSet<QUuid>& ids, Field field)
    -> std::optional<std::decay_t<std::invoke_result_t<Field, const Clip&>>> {
    using Value = std::decay_t<std::invoke_result_t<Field, const Clip&>>;
    const Clip* first = nullptr;
    for (const Clip& clip : clips) {
        if (!ids.contains(clip.id)) continue;
        if (!first) {
            first = &clip;
        } else if (field(clip) != field(*first)) {
            return std::nullopt;
        }
    }
    if (!first) return std::nullopt;
    return std::optional<Value>(std::in_place, field(*first));
}

}  // namespace velmar
