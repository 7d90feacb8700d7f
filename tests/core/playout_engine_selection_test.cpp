#include "engine_fixture.h"

#include "core/image_loader.h"
#include "support/test_media.h"

#include <QSignalSpy>

#include <sys/stat.h>
#include <unistd.h>

namespace velmar::test {
namespace {

TEST_F(EngineFixture, SelectionClampsAndStaysAtTheEnds) {
    loadTab(stills(5), 4);
    rundown().selectNext();
    rundown().selectNext();
    EXPECT_EQ(rundown().groups()[0].selectedIndex, 5);
    rundown().setSelectedIndex(-3);
    rundown().selectPrevious();
    EXPECT_EQ(rundown().groups()[0].selectedIndex, 0);
    rundown().setSelectedIndex(99);
    rundown().jumpToLast();
    EXPECT_EQ(rundown().groups()[0].selectedIndex, 4);
}

TEST_F(EngineFixture, ReselectingTheLoadedOrLoadingClipDoesNotReload) {
    loadTab(stills(3));
    const int loads = stillLoads;
    rundown().setSelectedIndex(0);
    settle();
    EXPECT_EQ(stillLoads, loads) << "already preloaded";
    closeGate();
    rundown().setSelectedIndex(1);
    rundown().setSelectedIndex(1);  // being decoded
    openGate();
    settle();
    EXPECT_EQ(stillLoads, loads + 1);
}

TEST_F(EngineFixture, OnlyTheLatestOfABurstOfSelectionsIsDecodedAndApplied) {
    loadTab(stills(4));
    const int loads = stillLoads;
    closeGate();
    rundown().setSelectedIndex(1);  // its job starts and blocks in the loader
    waitFor([this] { return heldAtGate == 1; });
    rundown().setSelectedIndex(2);  // queued behind it, superseded before it starts
    rundown().setSelectedIndex(3);
    openGate();
    settle();
    EXPECT_EQ(stillLoads, loads + 2) << "the superseded queued job never decodes";
    engine->returnPressed();
    EXPECT_EQ(engine->programClip()->displayName, "C3");
}

TEST_F(EngineFixture, MarkerJumpsFindTheNeighbouringMarker) {
    loadTab(stills(6), 2,
            {Marker{QUuid::createUuid(), 5, "b"}, Marker{QUuid::createUuid(), 2, "a"}});
    rundown().jumpToMarker(true);
    EXPECT_EQ(rundown().groups()[0].selectedIndex, 5);
    rundown().jumpToMarker(false);
    rundown().jumpToMarker(false);
    EXPECT_EQ(rundown().groups()[0].selectedIndex, 2) << "nothing before 2";

    loadTab(stills(2));
    rundown().jumpToMarker(true);
    EXPECT_EQ(engine->lastMessage(), "マーカーがありません");
}

TEST_F(EngineFixture, ShiftExtensionGrowsAndShrinksFromTheAnchor) {
    QList<Clip> clips = stills(5);
    loadTab(clips, 1);
    rundown().extendSelection(+1);
    rundown().extendSelection(+1);
    rundown().extendSelection(-1);
    EXPECT_EQ(rundown().reorderSelection(), (QSet<QUuid>{clips[1].id, clips[2].id}));
    EXPECT_EQ(rundown().groups()[0].selectedIndex, 2);

    rundown().setReorderSelection({}, std::nullopt);
    rundown().setSelectedIndex(5);  // the end
    rundown().extendSelection(+1);
    EXPECT_TRUE(rundown().reorderSelection().isEmpty());
    rundown().extendSelection(-1);
    EXPECT_EQ(rundown().reorderSelection(), QSet<QUuid>{clips[4].id});
}

TEST_F(EngineFixture, FilterTrimsBlanksAndIgnoresCase) {
    QList<Clip> clips = stills(2);
    clips[0].displayName = "Opening TITLE";
    clips[1].displayName = "ロゴ";
    loadTab(clips);
    rundown().setFilterText("   \t");
    EXPECT_EQ(rundown().filteredCount(), 2);
    rundown().setFilterText(" title ");
    EXPECT_TRUE(rundown().matchesFilter(clips[0]));
    rundown().setFilterText("ロゴ\n");
    EXPECT_EQ(rundown().filteredCount(), 0) << "line breaks are not trimmed";
}

TEST_F(EngineFixture, AStillThatFailsToDecodeIsMarkedAndReported) {
    QList<QPair<QString, QString>> reported;
    engine->onUnreadableClips = [&](const auto& list) { reported = list; };
    loadTab({still("broken-one")});
    EXPECT_FALSE(engine->nextMedia().has_value());
    EXPECT_EQ(engine->lastMessage(), "画像を読み込めませんでした: broken-one.png");
    EXPECT_EQ(reported,
              (QList<QPair<QString, QString>>{{"broken-one", "画像データをデコードできません"}}));
}

// Stills verified, then replaced by a link that leads nowhere, a pipe, a device and a folder:
// each is named, once it is NEXT, as a movie in its place would be, not as a picture that does
// not decode.
TEST_F(EngineFixture, AStillReplacedAfterVerificationIsNamedByWhatIsInItsPlace) {
    PlayoutEngine::Services s = services();
    s.loadFittedStill = [](const QUrl& url, const CanvasFormat& canvas) {
        return ImageLoader::loadFitted(url, canvas);
    };
    s.stillRejectionReason = [](const QUrl& url) { return ImageLoader::rejectionReason(url); };
    engine = std::make_unique<PlayoutEngine>(s);
    const QString notFound = "ファイルが見つかりません";
    const QString notRegular = "通常のローカルファイルではありません";
    const std::pair<const char*, QString> cases[] = {
        {"gone", notFound}, {"pipe", notRegular}, {"device", notRegular}, {"folder", notRegular}};
    QList<Clip> clips{still("first")};
    for (const auto& [name, reason] : cases) {
        Clip clip = still(name);
        clip.url = QUrl::fromLocalFile(dir.filePath(QString(name) + ".png"));
        ASSERT_TRUE(QFile::copy(TestMedia::still("png"), clip.url.toLocalFile()));
        clips << clip;
    }
    loadTab(clips);
    for (int i = 1; i <= 4; ++i) ASSERT_TRUE(rundown().isVerified(rundown().groups()[0].clips[i]));

    const auto path = [&](const char* name) {
        const QByteArray native = QFile::encodeName(dir.filePath(QString(name) + ".png"));
        EXPECT_EQ(::unlink(native.constData()), 0);
        return native;
    };
    ASSERT_EQ(::symlink(QFile::encodeName(dir.filePath("nowhere")).constData(), path("gone")), 0);
    ASSERT_EQ(::mkfifo(path("pipe"), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", path("device")), 0);
    ASSERT_EQ(::mkdir(path("folder"), 0700), 0);
    for (int i = 1; i <= 4; ++i) {
        rundown().setSelectedIndex(i);
        waitFor([&] { return rundown().groups()[0].clips[i].unreadableReason.has_value(); });
        EXPECT_EQ(rundown().groups()[0].clips[i].unreadableReason, cases[i - 1].second)
            << cases[i - 1].first;
    }
}

TEST_F(EngineFixture, VerificationCounterDropsAtTheFirstEveryTwentyFourthAndTheLastClip) {
    QSignalSpy spy(&rundown(), &Rundown::pendingVerificationChanged);
    loadTab(stills(100));
    QList<int> values;
    for (const auto& args : spy) values << args.at(0).toInt();
    EXPECT_EQ(values, (QList<int>{100, 99, 76, 52, 28, 4, 0}));
}

TEST_F(EngineFixture, MetadataIsTruncatedAndAppliedOnlyToTheSameFile) {
    QList<Clip> clips = stills(2);
    loadTab(clips);
    const QUuid a = clips[0].id;
    const QUuid b = clips[1].id;
    engine->applyMetadata({{a, QSizeF(640.7, 360.2)}, {b, QSizeF(10, 10)}},
                          {{a, QPointF(0.5, -0.25)}},
                          {{a, clips[0].url}, {b, QUrl::fromLocalFile("/elsewhere.png")}});
    const Clip& first = rundown().groups()[0].clips[0];
    EXPECT_EQ(first.pixelHeight, 360);
    EXPECT_EQ(first.contentAnchorX, 0.5);
    EXPECT_FALSE(rundown().groups()[0].clips[1].pixelWidth.has_value());

    const double nan = std::numeric_limits<double>::quiet_NaN();
    engine->applyMetadata({{b, QSizeF(nan, 10)}}, {}, {{b, clips[1].url}});
    EXPECT_FALSE(rundown().groups()[0].clips[1].pixelWidth.has_value())
        << "not a number is ignored";
}

}  // namespace
}  // namespace velmar::test
