#include "core/background_runner.h"

#include "platform/base/work_pool.h"

#include <vector>

namespace velmar {

int BackgroundRunner::standardLimit(Work work) {
    switch (work) {
        case Work::verification:
        case Work::metadata:
            return 2;  // a second pass (clips added while one runs) need not wait
        case Work::nextPoster:
            return 4;  // superseded probes may hang; the newest still starts
        case Work::testPattern:
            return 2;
        case Work::keyerListing:
            return 2;
        case Work::keyerStill:
        case Work::keyerMovie:
            return 4;  // the operator steps through the keyer's files faster than a probe
    }
    return 1;
}

BackgroundRunner BackgroundRunner::standard() {
    static WorkPool* pool = [] {
        std::vector<int> limits;
        for (std::size_t i = 0; i < kWorkKinds; ++i) limits.push_back(standardLimit(Work(i)));
        return new WorkPool("velmar.work", limits);  // lives for the whole process
    }();
    return byKind(
        [](Work work, Job job) { pool->async(static_cast<std::size_t>(work), std::move(job)); });
}

}  // namespace velmar
