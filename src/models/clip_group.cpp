#include "models/clip_group.h"

namespace velmar {

size_t qHash(const ClipGroup& g, size_t seed) {
    seed = qHashMulti(seed, g.id, g.name, g.clips.size());
    for (const Clip& clip : g.clips) seed = qHash(clip, seed);
    seed = qHashMulti(seed, g.markers.size());
    for (const Marker& marker : g.markers) seed = qHash(marker, seed);
    return qHashMulti(seed, g.selectedIndex);
}

}  // namespace velmar
