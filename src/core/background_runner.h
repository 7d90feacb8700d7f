#pragma once

#include <cstddef>
#include <functional>
#include <type_traits>
#include <utility>

namespace velmar {

// How the engine and the keyer run work off the main thread: each job says what kind of work it
// is, and the running program gives every kind its own lane (standard()), so a keyer load or a
// test pattern starts at once however long verification passes and movie probes take.
//
// A runner made from a function of the job alone runs every kind the same way (tests run the
// work inline, hold it, or drop it); an empty runner has no background at all.
class BackgroundRunner {
  public:
    enum class Work : std::size_t {
        verification,  // a verification pass: one probe after another, may take minutes
        metadata,      // a pixel-size and content-anchor pass
        nextPoster,    // the NEXT movie's size and poster (an unbounded probe)
        testPattern,   // drawing a test pattern
        keyerListing,  // listing a keyer folder
        keyerStill,    // decoding a keyer still and preparing its texture
        keyerMovie,    // probing a keyer movie and taking its poster
    };
    // Kinds there are: keyerMovie stays the last.
    static constexpr std::size_t kWorkKinds = static_cast<std::size_t>(Work::keyerMovie) + 1;

    using Job = std::function<void()>;
    using ByKind = std::function<void(Work, Job)>;

    BackgroundRunner() = default;
    BackgroundRunner(std::nullptr_t) {}  // NOLINT(google-explicit-constructor): "no background"
    // Every kind alike.
    template <class F,
              std::enable_if_t<std::is_invocable_v<F&, Job> && !std::is_invocable_v<F&, Work, Job>,
                               int> = 0>
    BackgroundRunner(F run)  // NOLINT(google-explicit-constructor)
        : run_([run = std::move(run)](Work, Job job) mutable { run(std::move(job)); }) {}
    // By kind.
    static BackgroundRunner byKind(ByKind run) {
        BackgroundRunner runner;
        runner.run_ = std::move(run);
        return runner;
    }

    // The process's lanes: one pool, each kind with its own limit of jobs at once.
    static BackgroundRunner standard();
    // Jobs of one kind that the standard runner runs at once.
    static int standardLimit(Work work);

    explicit operator bool() const { return static_cast<bool>(run_); }
    void operator()(Work work, Job job) const { run_(work, std::move(job)); }

  private:
    ByKind run_;
};

}  // namespace velmar
