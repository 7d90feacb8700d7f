#include "support/qt_printers.h"

#include "core/dsk_controller.h"
#include "core/movie_playback.h"
#include "models/language_settings.h"
#include "models/playout_project.h"
#include "platform/player/movie_player.h"
#include "support/event_loop.h"
#include "support/fake_clock.h"
#include "support/test_media.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <limits>
#include <mutex>

namespace velmar {
namespace {

using test::FakeClock;
using test::TestMedia;

// A keyer on a fake clock. Stills decode to small images without touching the disk ("broken…"
// files fail); movies are probed by name ("bad…" fails with its own message) and played from a
// real tiny movie ("stuck…" names a file that never gets prepared). Background work runs inline
// unless deferred, so results reach the main queue in a known order.
class DSKSourcesTest : public ::testing::Test {
  protected:
    FakeClock clock;
    QTemporaryDir dir;
    std::unique_ptr<DSKController> dsk;
    bool deferBackground = false;
    std::vector<std::function<void()>> deferred;
    std::mutex preparedMutex;
    std::vector<ImageRef> prepared;
    struct MadePlayback {
        std::shared_ptr<MoviePlayback> playback;
        bool muted;
        int loopCount;
    };
    std::vector<MadePlayback> playbacks;
    std::vector<std::pair<int, double>> posterRequests;

    void SetUp() override {
        LanguageSettings::shared().setLanguage(AppLanguage::ja);
        dsk = std::make_unique<DSKController>(services());
    }
    void TearDown() override {
        dsk.reset();
        playbacks.clear();
        test::drainMainQueue();
        MoviePlayer::waitForReleases();
    }

    DSKController::Services services() {
        DSKController::Services s;
        s.clock = &clock;
        s.timers = &clock;
        s.loadFullStill = [](const QUrl& url) -> ImageRef {
            if (url.fileName().startsWith("broken") || !QFileInfo::exists(url.toLocalFile())) {
                return nullptr;
            }
            auto image = std::make_shared<QImage>(8, 8, QImage::Format_RGBA8888_Premultiplied);
            image->fill(Qt::white);
            return image;
        };
        s.prepareTexture = [this](const ImageRef& image) {
            std::lock_guard lock(preparedMutex);
            prepared.push_back(image);
        };
        s.probeMovie = [](const QUrl& url) -> DSKController::Probe {
            if (url.fileName().startsWith("bad")) return QString("probe says no");
            return QSizeF(160, 90);
        };
        s.boundedFirstFrame = [this](const QUrl&, int maxPixel, double seconds) -> ImageRef {
            posterRequests.emplace_back(maxPixel, seconds);
            return std::make_shared<QImage>(4, 4, QImage::Format_RGBA8888_Premultiplied);
        };
        s.makePlayback = [this](const QUrl& url, bool muted, int loopCount) {
            const QString path =
                url.fileName().startsWith("stuck") ? dir.filePath("absent.mp4") : movieFile();
            auto playback = MoviePlayback::create(path, muted, loopCount, clock);
            playbacks.push_back({playback, muted, loopCount});
            return playback;
        };
        s.runInBackground = [this](std::function<void()> work) {
            deferBackground ? deferred.push_back(std::move(work)) : work();
        };
        return s;
    }

    static QString movieFile() {
        TestMedia::MovieOptions options{160, 90};
        return TestMedia::movie("mp4", options);
    }

    void runDeferred() {
        while (!deferred.empty()) {
            auto work = std::move(deferred);
            deferred.clear();
            for (auto& w : work) w();
            test::drainMainQueue();
        }
    }

    QUrl file(const QString& name) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        return QUrl::fromLocalFile(path);
    }
    QUrl folder(const QString& name, const QStringList& files) {
        EXPECT_TRUE(QDir(dir.path()).mkpath(name));
        for (const QString& f : files) file(name + "/" + f);
        return QUrl::fromLocalFile(dir.filePath(name));
    }

    QStringList sourceNames() const {
        QStringList out;
        for (const QUrl& url : dsk->sourceURLs()) out << url.fileName();
        return out;
    }
    QString installedName() const {
        return dsk->sourceURL() ? dsk->sourceURL()->fileName() : QString();
    }
    double level() const { return dsk->snapshot().level(clock.now()); }
    MoviePlayback* keyerMovie() const {
        return dsk->media() && dsk->media()->isMovie() ? dsk->media()->asMovie()->playback.get()
                                                       : nullptr;
    }

    void loadSources(const QList<QUrl>& urls, int index = 0) {
        dsk->loadURLs(urls, index);
        test::drainMainQueue();
    }
    void loadStill() {
        loadSources({file("logo.png")});
        ASSERT_TRUE(dsk->media().has_value());
    }

    // Lets the last made movie get prepared, then lets the keyer's 50 ms poll see it.
    void finishMovieLoad() {
        test::drainMainQueue();
        ASSERT_FALSE(playbacks.empty());
        auto playback = playbacks.back().playback;
        test::waitFor([&] { return playback->isPrepared(); });
        clock.advance(0.05);
        ASSERT_FALSE(dsk->isLoading());
    }
};

TEST_F(DSKSourcesTest, DurationsThatAreNotFinitePositiveSwitchAtOnce) {
    ASSERT_NO_FATAL_FAILURE(loadStill());
    for (double d : {0.0, -1.0, std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()}) {
        dsk->fade(d);
        EXPECT_FALSE(dsk->isTransitioning()) << d;
        EXPECT_DOUBLE_EQ(level(), 1.0) << d;
        EXPECT_EQ(clock.activeTimerCount(), 0) << d;
        dsk->fade(d);
        EXPECT_DOUBLE_EQ(level(), 0.0) << d;
    }
}

TEST_F(DSKSourcesTest, CutCompletesARunningFadeAndFadesDuringAFadeAreIgnored) {
    ASSERT_NO_FATAL_FAILURE(loadStill());
    const QUuid loaded = dsk->snapshot().generation;
    dsk->fade(1.0);
    clock.advance(0.25);
    dsk->fade(1.0);  // ignored, whichever its direction
    EXPECT_NEAR(level(), 0.25, 1e-9);
    EXPECT_NE(dsk->snapshot().generation, loaded) << "a key-in starts a new generation";
    dsk->cut();
    EXPECT_DOUBLE_EQ(level(), 1.0);
    EXPECT_FALSE(dsk->isTransitioning());
    EXPECT_EQ(clock.activeTimerCount(), 0) << "no finish timer left";

    dsk->fade(1.0);  // fade-out
    clock.advance(0.5);
    dsk->fade(0.1);
    EXPECT_NEAR(level(), 0.5, 1e-9);
    EXPECT_TRUE(dsk->isActive());
    dsk->cut();
    EXPECT_DOUBLE_EQ(level(), 0.0);
    EXPECT_FALSE(dsk->isActive());

    dsk->transition(0, 0.5);  // a fade-out from 0: inactive at once, transitioning until its timer
    EXPECT_FALSE(dsk->isActive());
    EXPECT_TRUE(dsk->isTransitioning());
    clock.advance(0.6);
    EXPECT_FALSE(dsk->isTransitioning());
}

TEST_F(DSKSourcesTest, CutAndFadeDoNothingWithoutAMediumOrWhileLoading) {
    dsk->cut();
    dsk->fade(0.5);
    EXPECT_EQ(clock.activeTimerCount(), 0);

    loadSources({file("a.png"), file("b.png")});
    dsk->cut();
    deferBackground = true;
    dsk->next();  // the keyed a.png stays on air while b.png loads
    ASSERT_TRUE(dsk->isLoading() && dsk->media().has_value());
    dsk->cut();
    dsk->fade(0.5);
    EXPECT_TRUE(dsk->isActive());
    EXPECT_FALSE(dsk->isTransitioning());
}

TEST_F(DSKSourcesTest, ClearDuringAFadeResetsEverythingAndClearingAgainPublishesNothing) {
    ASSERT_NO_FATAL_FAILURE(loadStill());
    dsk->fade(1.0);
    clock.advance(0.5);
    const QUuid before = dsk->snapshot().generation;
    dsk->clear();
    EXPECT_EQ(clock.activeTimerCount(), 0);
    EXPECT_FALSE(dsk->isTransitioning());
    EXPECT_FALSE(dsk->snapshot().media.has_value());
    EXPECT_NE(dsk->snapshot().generation, before);
    EXPECT_DOUBLE_EQ(level(), 0.0);

    QSignalSpy media(dsk.get(), &DSKController::mediaChanged);
    QSignalSpy sources(dsk.get(), &DSKController::sourcesChanged);
    dsk->clear();
    EXPECT_EQ(media.count(), 0);
    EXPECT_EQ(sources.count(), 0);
}

TEST(DSKNaturalOrder, ComparesNumbersByValueAndIgnoresCase) {
    // Each pair is in order; swapped, neither comes first when they differ only in zero padding.
    const std::pair<const char*, const char*> ordered[] = {{"clip2.mov", "clip10.mov"},
                                                           {"Clip1.png", "clip2.mov"},
                                                           {"A.png", "b.png"},
                                                           {"a.png", "a1.png"},
                                                           {"take 9", "take 10"},
                                                           {"file", "file1"},
                                                           {"99", "100"}};
    for (const auto& [a, b] : ordered) {
        EXPECT_TRUE(DSKController::naturalLess(a, b)) << a << " < " << b;
        EXPECT_FALSE(DSKController::naturalLess(b, a)) << b << " < " << a;
    }
    EXPECT_FALSE(DSKController::naturalLess("x01.png", "x1.png") ||
                 DSKController::naturalLess("x1.png", "x01.png"));
}

TEST_F(DSKSourcesTest, ListsAFolderInNaturalOrderSkippingHiddenAndForeignFiles) {
    const QUrl url = folder("show", {"clip10.mov", "clip2.mov", "Clip1.png", ".hidden.png",
                                     "notes.txt", "IMAGE.JPG", "noextension"});
    QDir(dir.path()).mkpath("show/sub.png");  // a folder is not a source
    dsk->load(url);
    test::drainMainQueue();
    EXPECT_EQ(sourceNames(), QStringList({"Clip1.png", "clip2.mov", "clip10.mov", "IMAGE.JPG"}));
    EXPECT_EQ(installedName(), "Clip1.png");
    ASSERT_TRUE(dsk->media() && dsk->media()->isStill());
    EXPECT_EQ(dsk->countLabel(), "1 / 4");
    std::lock_guard lock(preparedMutex);
    EXPECT_EQ(prepared, std::vector<ImageRef>{*dsk->media()->asStill()});
}

TEST_F(DSKSourcesTest, FoldersAndFilesThatGiveNoSourceClearTheKeyer) {
    struct Case {
        const char* what;
        std::function<QUrl()> url;
        const char* message;
    };
    const char* none = "DSK フォルダに対応素材がありません";
    const Case cases[] = {
        {"empty folder", [&] { return folder("empty", {"a.txt"}); }, none},
        {"missing file", [&] { return QUrl::fromLocalFile(dir.filePath("gone.png")); }, none},
        {"foreign file", [&] { return file("notes.txt"); }, none},
        {"unlistable folder", [&] { return QUrl::fromLocalFile(dir.filePath("nowhere") + "/"); },
         "DSK フォルダを読み込めません"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NO_FATAL_FAILURE(loadStill());
        dsk->load(c.url());
        test::drainMainQueue();
        EXPECT_FALSE(dsk->media().has_value());
        EXPECT_EQ(dsk->countLabel(), "0 / 0");
        EXPECT_EQ(dsk->errorMessage(), QString(c.message));
    }
}

TEST_F(DSKSourcesTest, LoadsAMovieMutedAndKeysItInAndOut) {
    dsk->loadURLs({file("clip.mov")}, 0);
    EXPECT_TRUE(dsk->isLoading());
    ASSERT_NO_FATAL_FAILURE(finishMovieLoad());
    ASSERT_EQ(playbacks.size(), 1u);
    EXPECT_TRUE(playbacks[0].muted);
    EXPECT_EQ(playbacks[0].loopCount, 0);  // loops by default
    EXPECT_EQ(posterRequests, (std::vector<std::pair<int, double>>{{640, 6.0}}));
    MoviePlayback* movie = keyerMovie();
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(dsk->media()->asMovie()->size, QSizeF(160, 90));
    EXPECT_FALSE(movie->wantsPlay());  // waits for the key-in

    dsk->fade(0.5);
    EXPECT_TRUE(movie->wantsPlay());
    clock.advance(0.6);
    dsk->fade(0.5);
    EXPECT_TRUE(movie->wantsPlay());  // still seen while it fades out
    clock.advance(0.6);
    EXPECT_FALSE(dsk->isActive());
    EXPECT_FALSE(movie->wantsPlay());
    dsk->cut();
    EXPECT_TRUE(movie->wantsPlay());
    dsk->cut();
    EXPECT_FALSE(movie->wantsPlay());
}

TEST_F(DSKSourcesTest, LoopSettingReachesALoadedMovieAtOnceAndOnlyFlagsAStill) {
    dsk->loadURLs({file("clip.mov")}, 0);
    ASSERT_NO_FATAL_FAILURE(finishMovieLoad());
    MoviePlayback* movie = keyerMovie();
    ASSERT_NE(movie, nullptr);
    dsk->setLoops(false);
    EXPECT_EQ(movie->loopCount(), 1);
    dsk->setLoops(true);
    EXPECT_EQ(movie->loopCount(), 0);

    dsk->clear();
    ASSERT_NO_FATAL_FAILURE(loadStill());
    dsk->setLoops(false);
    EXPECT_FALSE(dsk->loops());
    EXPECT_EQ(movie->loopCount(), 0) << "the movie that left is untouched";
}

TEST_F(DSKSourcesTest, MovieFailuresShowTheirMessages) {
    loadSources({file("bad.mov")});
    EXPECT_EQ(dsk->errorMessage(), QString("probe says no"));
    EXPECT_FALSE(dsk->isLoading());
    EXPECT_TRUE(playbacks.empty());

    // Never prepared: given up after 8 s of 50 ms polls, paused and dropped.
    loadSources({file("stuck.mov")});
    ASSERT_EQ(playbacks.size(), 1u);
    clock.advance(7.9);
    EXPECT_TRUE(dsk->isLoading());
    clock.advance(0.2);
    EXPECT_FALSE(dsk->isLoading());
    EXPECT_EQ(dsk->errorMessage(), QString("DSK 素材を読み込めません"));
    EXPECT_FALSE(playbacks[0].playback->wantsPlay());
    EXPECT_EQ(clock.activeTimerCount(), 0);
}

TEST_F(DSKSourcesTest, NextWrapsKeepsTheKeyAndStaysOnAFailedFile) {
    loadSources({file("a.png"), file("b.png"), file("broken.png")});
    dsk->cut();
    const QUuid keyed = dsk->snapshot().generation;

    dsk->next();
    test::drainMainQueue();
    EXPECT_EQ(installedName(), "b.png");
    EXPECT_DOUBLE_EQ(level(), 1.0);  // the new medium arrives keyed
    EXPECT_NE(dsk->snapshot().generation, keyed);

    const ImageRef onAir = *dsk->media()->asStill();
    dsk->next();  // broken.png fails: the previous medium stays on air
    test::drainMainQueue();
    EXPECT_EQ(dsk->errorMessage(), QString("DSK 素材を読み込めません"));
    EXPECT_EQ(dsk->countLabel(), "2 / 3");
    EXPECT_EQ(dsk->snapshot().media->asStill()->get(), onAir.get());
    EXPECT_TRUE(dsk->isActive());

    dsk->next();  // tries the same file again
    test::drainMainQueue();
    EXPECT_EQ(dsk->selectedIndex(), 1);
}

TEST_F(DSKSourcesTest, NextDoesNothingWithOneSourceOrWhileLoading) {
    loadSources({file("a.png")});
    dsk->next();
    EXPECT_FALSE(dsk->isLoading());

    deferBackground = true;
    dsk->loadURLs({file("a.png"), file("b.png"), file("c.png")}, 2);
    EXPECT_TRUE(dsk->isLoading());
    dsk->next();
    runDeferred();
    EXPECT_EQ(installedName(), "c.png");
    dsk->next();
    runDeferred();
    EXPECT_EQ(installedName(), "a.png");  // wraps
}

TEST_F(DSKSourcesTest, NextWhileKeyedSwapsAMovieAndRunsItFromItsStart) {
    loadSources({file("a.png"), file("one.mov"), file("two.mov")});
    dsk->cut();
    dsk->next();
    test::drainMainQueue();
    EXPECT_EQ(installedName(), "a.png");  // the still stays keyed until the movie is ready
    EXPECT_TRUE(dsk->isLoading());
    ASSERT_NO_FATAL_FAILURE(finishMovieLoad());
    MoviePlayback* first = keyerMovie();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->wantsPlay());
    EXPECT_DOUBLE_EQ(level(), 1.0);

    // Taken off (panic) while the next movie loads: it arrives paused, waiting for a key-in.
    dsk->next();
    test::drainMainQueue();
    dsk->transition(0, 0);
    ASSERT_NO_FATAL_FAILURE(finishMovieLoad());
    ASSERT_EQ(installedName(), "two.mov");
    EXPECT_FALSE(keyerMovie()->wantsPlay());
    EXPECT_FALSE(first->wantsPlay());
    EXPECT_DOUBLE_EQ(level(), 0.0);
}

TEST_F(DSKSourcesTest, LoadIsRefusedWhileKeyed) {
    loadSources({file("a.png")});
    dsk->cut();
    dsk->load(file("b.png"));
    EXPECT_EQ(dsk->errorMessage(), QString("DSK を消してから素材を変更してください"));
    EXPECT_EQ(installedName(), "a.png");
    dsk->loadURLs({file("b.png")}, 0);  // silently refused
    EXPECT_EQ(sourceNames(), QStringList({"a.png"}));
}

TEST_F(DSKSourcesTest, ANewerLoadSupersedesAnOlderOne) {
    const QUrl first = folder("first", {"a.png", "b.png"});
    const QUrl second = folder("second", {"x.png"});
    deferBackground = true;
    dsk->load(first);
    dsk->load(second);
    // The listings finish in either order; only the newer one is used.
    std::swap(deferred[0], deferred[1]);
    runDeferred();
    EXPECT_EQ(sourceNames(), QStringList({"x.png"}));
    EXPECT_FALSE(dsk->isLoading());
}

TEST_F(DSKSourcesTest, ClearDuringALoadDropsItsResult) {
    deferBackground = true;
    dsk->loadURLs({file("a.png")}, 0);
    dsk->clear();
    runDeferred();
    EXPECT_FALSE(dsk->media().has_value());
    EXPECT_FALSE(dsk->errorMessage().has_value());

    // Also while a movie is waiting to be prepared.
    deferBackground = false;
    loadSources({file("clip.mov")});
    ASSERT_EQ(playbacks.size(), 1u);
    dsk->clear();
    test::waitFor([&] { return playbacks[0].playback->isPrepared(); });
    clock.advance(0.1);
    EXPECT_FALSE(dsk->media().has_value());
    EXPECT_FALSE(playbacks[0].playback->wantsPlay());
}

TEST_F(DSKSourcesTest, RestoresARecord) {
    const QUrl a = file("a.png");
    const QUrl b = file("b.png");
    DSKController::Record record;
    record.paths = {a.toLocalFile(), dir.filePath("notes.txt"), b.toLocalFile(),
                    dir.filePath("vanished.png")};
    record.selectedIndex = 1;
    record.loops = false;
    dsk->restore(record);
    test::drainMainQueue();
    EXPECT_EQ(sourceNames(), QStringList({"a.png", "b.png", "vanished.png"}));
    EXPECT_EQ(installedName(), "b.png");
    ASSERT_TRUE(dsk->record().has_value());
    EXPECT_EQ(dsk->record()->paths.size(), 3) << "saved back without the foreign file";
    EXPECT_FALSE(dsk->record()->loops);

    // Indices out of range are clamped.
    for (auto [index, expected] :
         {std::pair<qint64, const char*>{-3, "a.png"}, {99, "vanished.png"}}) {
        record.selectedIndex = index;
        dsk->restore(record);
        test::drainMainQueue();
        EXPECT_EQ(dsk->sourceURLs().at(dsk->selectedIndex()).fileName(), QString(expected));
    }
    // A file that has gone is still listed; its load fails.
    EXPECT_EQ(dsk->errorMessage(), QString("DSK 素材を読み込めません"));

    // The older single-path form of the project file.
    const auto legacy = PlayoutProject::decode(
        QStringLiteral(R"({"dsk": {"path": "%1"}})").arg(b.toLocalFile()).toUtf8());
    dsk->restore(legacy.dsk);
    test::drainMainQueue();
    EXPECT_EQ(sourceNames(), QStringList({"b.png"}));
    EXPECT_TRUE(dsk->loops());

    record.paths.clear();
    dsk->restore(record);
    EXPECT_EQ(dsk->errorMessage(), QString("DSK フォルダに対応素材がありません"));
    EXPECT_FALSE(dsk->record().has_value());
}

// A project opened while the keyer is on air with a swap still loading: the keyer goes off at
// once, the old project's result is dropped when it comes, and the keys work as soon as the new
// project's source is in.
TEST_F(DSKSourcesTest, RestoringOverAKeyedLoadDropsItAndTakesKeysOnceTheNewSourceIsIn) {
    loadSources({file("a.png"), file("b.png")});
    dsk->cut();
    deferBackground = true;
    dsk->next();  // the old project's b.png, still loading
    ASSERT_TRUE(dsk->isActive() && dsk->isLoading());

    DSKController::Record record;
    record.paths = {file("c.png").toLocalFile()};
    dsk->restore(record);
    EXPECT_FALSE(dsk->isActive());
    EXPECT_DOUBLE_EQ(level(), 0.0);
    EXPECT_TRUE(dsk->isLoading());
    ASSERT_EQ(deferred.size(), 2u);

    auto older = std::move(deferred[0]);
    deferred.erase(deferred.begin());
    older();
    test::drainMainQueue();
    EXPECT_FALSE(dsk->media().has_value()) << "the old project's medium came back";
    EXPECT_TRUE(dsk->isLoading()) << "the old project's load ended the new one's";
    dsk->cut();
    EXPECT_FALSE(dsk->isActive());

    runDeferred();
    EXPECT_EQ(installedName(), "c.png");
    EXPECT_FALSE(dsk->isLoading());
    dsk->cut();
    EXPECT_TRUE(dsk->isActive());
    EXPECT_DOUBLE_EQ(level(), 1.0);
}

TEST_F(DSKSourcesTest, WithoutLoadersEveryLoadFails) {
    DSKController::Services none;
    none.clock = &clock;
    none.timers = &clock;
    DSKController bare(none);
    bare.loadURLs({file("a.png")}, 0);
    EXPECT_FALSE(bare.isLoading());
    EXPECT_EQ(bare.errorMessage(), QString("DSK 素材を読み込めません"));
}

}  // namespace
}  // namespace velmar
