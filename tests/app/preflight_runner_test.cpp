// The five checks of the pre-show check, grouped by check, and the log line of a run.
#include "preflight_runner_fixture.h"

#include "platform/sdi/virtual_sdi_config.h"

namespace velmar {
namespace {

using Status = PreflightRunner::Item::Status;

class PreflightChecksTest : public test::PreflightFixture {
  protected:
    void expectLine(int index, Status status, const QString& detail) {
        EXPECT_EQ(item(index).status, status) << index;
        EXPECT_EQ(item(index).detail, detail) << index;
    }
};

TEST_F(PreflightChecksTest, MediaCountsUnreadableClipsAndEachRunLogsOneLine) {
    runner->run();
    expectLine(0, Status::failed, "素材がありません");
    QList<Clip> clips{clip("ok")};
    for (int i = 1; i <= 6; ++i) {
        clips << clip(QString("bad%1").arg(i));
        clips.back().isMissing = i % 2;
        if (i % 2 == 0) clips.back().unreadableReason = "broken";
    }
    setClips(clips);
    runner->run();
    expectLine(0, Status::failed, "6 件が読めません: bad1, bad2, bad3, bad4, bad5");
    setClips(clips, 2);
    runner->run();
    expectLine(0, Status::warning, "確認中です。終わってからもう一度");
    setClips({clip("a"), clip("b"), clip("c")});
    runner->run();
    expectLine(0, Status::ok, "3 件すべて読めます");

    const QStringList lines = logLinesWith("PREFLIGHT");
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[3],
              "PREFLIGHT  素材の読み込み:ok 解像度の確認:ok 出力フォーマット:ok "
              "SDI 機器:ok 素材の置き場所:ok");
}

TEST_F(PreflightChecksTest, ResolutionCountsLargerAndSmallerClipsAgainstTheCanvas) {
    engine->applyCanvasSilently(CanvasFormat{1920, 1080, ""});
    runner->run();
    expectLine(1, Status::ok, "すべてキャンバスと同じ大きさです");
    Clip unreadable = clip("gone", QSize(4000, 4000));
    unreadable.isMissing = true;
    Clip unmeasuredBad = clip("bad", std::nullopt);
    unmeasuredBad.unreadableReason = "broken";
    setClips({clip("uhd", QSize(3840, 2160)), clip("hd720", QSize(1280, 720)),
              clip("wide", QSize(2000, 1000)), clip("exact", QSize(1920, 1080)), unreadable,
              unmeasuredBad});
    runner->run();
    expectLine(1, Status::warning, "縮小 2 件 / 原寸中央 1 件");
}

// Mended: a readable clip whose size was still being measured let the check report that every
// clip has the canvas size.
TEST_F(PreflightChecksTest, ResolutionWarnsWhileAReadableClipIsUnmeasured) {
    setClips({clip("exact"), clip("pending", std::nullopt)});
    runner->run();
    expectLine(1, Status::warning, "確認中です。終わってからもう一度");
}

TEST_F(PreflightChecksTest, FormatNamesSizeRateAndKeyMode) {
    engine->applyCanvasSilently(CanvasFormat{1920, 1080, ""});
    runner->run();
    expectLine(2, Status::ok, "1920×1080  59.94 p  Straight");
    engine->setKeyAlphaMode(KeyAlphaMode::premultiplied);
    engine->applyFrameRateSilently(FrameRate{25, 1});
    runner->run();
    expectLine(2, Status::ok, "1920×1080  25 p  Premultiplied");
}

// The device line against the virtual card's own mode tables, given in its text form.
TEST_F(PreflightChecksTest, DeviceMatchesTheCanvasAndRateOnTheSelectedDevice) {
    struct Case {
        const char* card;
        long long selected;
        SDIBitDepth depth;
        Status status;
        QString detail;
    };
    const Case cases[] = {
        {"device=Dbl;mode=96x54@120000/2002", 0, SDIBitDepth::eightBit, Status::ok,
         "Dbl — 96x54@120000/2002"},
        {"device=Half;mode=96x54@30000/1001", 0, SDIBitDepth::eightBit, Status::failed,
         "Half はこの組み合わせを出せません"},
        {"device=Fill;mode=96x54@60000/1001", 0, SDIBitDepth::tenBitFillOnly, Status::warning,
         "Fill — 96x54@60000/1001  10bit・フィルのみ（キーは出ません）"},
        {"device=NoKey,nokeyer;mode=96x54@60000/1001", 0, SDIBitDepth::tenBit, Status::failed,
         "NoKey はこの組み合わせを出せません"},
        {"device=A;mode=8x8@25/1;device=B;mode=96x54@60000/1001", 5, SDIBitDepth::eightBit,
         Status::ok, "B — 96x54@60000/1001"},
        {"device=Mute,nooutput", 0, SDIBitDepth::eightBit, Status::warning,
         "SDI 機器が見つかりません（サブモニターのみ）"},
    };
    for (const Case& c : cases) {
        std::string error;
        const std::optional<VirtualSdiConfig> config = VirtualSdiConfig::parse(c.card, &error);
        ASSERT_TRUE(config) << c.card << ": " << error;
        VirtualSdiCard other(*config);
        host.card = &other;
        host.selected = c.selected;
        host.depth = c.depth;
        runner->run();
        expectLine(3, c.status, c.detail);
    }
}

TEST_F(PreflightChecksTest, StorageCountsExternalFoldersOncePerFolder) {
    QStringList asked;
    volumeLookup = [&asked](const QString& folder) -> std::optional<bool> {
        asked << folder;
        if (folder == "/unreadable") return std::nullopt;
        return !folder.startsWith("/ext");
    };
    QList<Clip> clips;
    for (int i = 0; i < 10; ++i)
        clips << clip(QString("c%1").arg(i), QSize(96, 54), i % 2 ? "/ext/a" : "/ext/b");
    clips << clip("local", QSize(96, 54), "/home/op") << clip("x", QSize(96, 54), "/unreadable");
    setClips(clips);
    runner->run();
    expectLine(4, Status::warning, "2 か所が外部ストレージにあります");
    asked.sort();
    EXPECT_EQ(asked, QStringList({"/ext/a", "/ext/b", "/home/op", "/unreadable"}));
}

}  // namespace
}  // namespace velmar
