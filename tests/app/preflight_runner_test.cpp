// The five checks of the pre-show check, grouped by check, and the log line of a run.
#include "preflight_runner_fixture.h"

#include "platform/sdi/virtual_sdi_config.h"

namespace velmar {
namespace {

using Status = PreflightRunner::Item::Status;

class PreflightChecksTest : public test::PreflightFixture {};

TEST_F(PreflightChecksTest, MediaCountsUnreadableClipsAndWaitsForVerification) {
    runner->run();
    EXPECT_EQ(item(0).status, Status::failed);
    EXPECT_EQ(item(0).detail, "素材がありません");

    QList<Clip> clips{clip("ok")};
    for (int i = 1; i <= 6; ++i) {
        Clip bad = clip(QString("bad%1").arg(i));
        if (i % 2)
            bad.isMissing = true;
        else
            bad.unreadableReason = "broken";
        clips << bad;
    }
    setClips(clips);
    runner->run();
    EXPECT_EQ(item(0).status, Status::failed);
    EXPECT_EQ(item(0).detail, "6 件が読めません: bad1, bad2, bad3, bad4, bad5");

    setClips(clips, 2);
    runner->run();
    EXPECT_EQ(item(0).status, Status::warning);
    EXPECT_EQ(item(0).detail, "確認中です。終わってからもう一度");

    setClips({clip("a"), clip("b"), clip("c")});
    runner->run();
    EXPECT_EQ(item(0).status, Status::ok);
    EXPECT_EQ(item(0).detail, "3 件すべて読めます");
}

TEST_F(PreflightChecksTest, ResolutionCountsLargerAndSmallerClipsAgainstTheCanvas) {
    engine->applyCanvasSilently(CanvasFormat{1920, 1080, ""});
    runner->run();
    EXPECT_EQ(item(1).status, Status::ok);
    EXPECT_EQ(item(1).detail, "すべてキャンバスと同じ大きさです");

    Clip unreadable = clip("gone", QSize(4000, 4000));
    unreadable.isMissing = true;
    Clip unmeasuredBad = clip("bad", std::nullopt);
    unmeasuredBad.unreadableReason = "broken";
    setClips({clip("uhd", QSize(3840, 2160)), clip("hd720", QSize(1280, 720)),
              clip("wide", QSize(2000, 1000)), clip("exact", QSize(1920, 1080)), unreadable,
              unmeasuredBad});
    runner->run();
    EXPECT_EQ(item(1).status, Status::warning);
    EXPECT_EQ(item(1).detail, "縮小 2 件 / 原寸中央 1 件");
}

// Mended: a readable clip whose size is still being measured made the check report that every
// clip has the canvas size.
TEST_F(PreflightChecksTest, ResolutionWarnsWhileAReadableClipIsUnmeasured) {
    engine->applyCanvasSilently(CanvasFormat{1920, 1080, ""});
    setClips({clip("exact", QSize(1920, 1080)), clip("pending", std::nullopt)});
    runner->run();
    EXPECT_EQ(item(1).status, Status::warning);
    EXPECT_EQ(item(1).detail, "確認中です。終わってからもう一度");
}

TEST_F(PreflightChecksTest, FormatNamesSizeRateAndKeyMode) {
    engine->applyCanvasSilently(CanvasFormat{1920, 1080, ""});
    runner->run();
    EXPECT_EQ(item(2).status, Status::ok);
    EXPECT_EQ(item(2).detail, "1920×1080  59.94 p  Straight");
    engine->setKeyAlphaMode(KeyAlphaMode::premultiplied);
    engine->applyFrameRateSilently(FrameRate{25, 1});
    runner->run();
    EXPECT_EQ(item(2).detail, "1920×1080  25 p  Premultiplied");
}

// The device line against the virtual card's own mode tables, read from its text form.
TEST_F(PreflightChecksTest, DeviceMatchesTheCanvasAndRateOnTheSelectedDevice) {
    struct Case {
        const char* name;
        const char* card;
        long long selected;
        SDIBitDepth depth;
        Status status;
        QString detail;
    };
    const Case cases[] = {
        {"same rate doubled", "device=Dbl;mode=96x54@120000/2002,bgra,v210,ay10", 0,
         SDIBitDepth::eightBit, Status::ok, "Dbl — 96x54@120000/2002"},
        {"29.97 is not 59.94", "device=Half;mode=96x54@30000/1001,bgra", 0, SDIBitDepth::eightBit,
         Status::failed, "Half はこの組み合わせを出せません"},
        {"fill only warns", "device=Fill;mode=96x54@60000/1001,bgra,v210", 0,
         SDIBitDepth::tenBitFillOnly, Status::warning,
         "Fill — 96x54@60000/1001  10bit・フィルのみ（キーは出ません）"},
        {"cannot key in ten bit", "device=NoKey,nokeyer;mode=96x54@60000/1001,bgra,v210,ay10", 0,
         SDIBitDepth::tenBit, Status::failed, "NoKey はこの組み合わせを出せません"},
        {"list shrank: the last device",
         "device=A;mode=8x8@25/1,bgra;device=B;mode=96x54@60000/1001,bgra", 5,
         SDIBitDepth::eightBit, Status::ok, "B — 96x54@60000/1001"},
        {"no device", "device=Mute,nooutput", 0, SDIBitDepth::eightBit, Status::warning,
         "SDI 機器が見つかりません（サブモニターのみ）"},
    };
    for (const Case& c : cases) {
        std::string error;
        const std::optional<VirtualSdiConfig> config = VirtualSdiConfig::parse(c.card, &error);
        ASSERT_TRUE(config) << c.name << ": " << error;
        VirtualSdiCard other(*config);
        host.card = &other;
        host.selected = c.selected;
        host.depth = c.depth;
        runner->run();
        EXPECT_EQ(item(3).status, c.status) << c.name;
        EXPECT_EQ(item(3).detail, c.detail) << c.name;
    }
}

TEST_F(PreflightChecksTest, StorageCountsExternalFoldersOncePerFolder) {
    runner->run();
    EXPECT_EQ(item(4).status, Status::ok);
    EXPECT_EQ(item(4).detail, "すべて内蔵ストレージにあります");

    QStringList asked;
    volumeLookup = [&asked](const QString& folder) -> std::optional<bool> {
        asked << folder;
        if (folder.startsWith("/ext")) return false;
        if (folder == "/unreadable") return std::nullopt;
        return true;
    };
    QList<Clip> clips;
    for (int i = 0; i < 10; ++i)
        clips << clip(QString("c%1").arg(i), QSize(96, 54), i % 2 ? "/ext/a" : "/ext/b");
    clips << clip("local", QSize(96, 54), "/home/op") << clip("x", QSize(96, 54), "/unreadable");
    setClips(clips);
    runner->run();
    EXPECT_EQ(item(4).status, Status::warning);
    EXPECT_EQ(item(4).detail, "2 か所が外部ストレージにあります");
    asked.sort();
    EXPECT_EQ(asked, QStringList({"/ext/a", "/ext/b", "/home/op", "/unreadable"}));
}

TEST_F(PreflightChecksTest, EachRunLogsOneLineOfTitlesAndStatuses) {
    setClips({clip("a")});
    runner->run();
    runner->run();
    const QStringList lines = logLinesWith("PREFLIGHT");
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0],
              "PREFLIGHT  素材の読み込み:ok 解像度の確認:ok 出力フォーマット:ok "
              "SDI 機器:ok 素材の置き場所:ok");
    EXPECT_FALSE(runner->isRunning());
}

}  // namespace
}  // namespace velmar
