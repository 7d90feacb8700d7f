#include "core/media_loader.h"
#include "support/qt_printers.h"

#include "models/language_settings.h"
#include "models/localized.h"
#include "platform/player/movie_player.h"
#include "support/event_loop.h"
#include "support/fake_clock.h"
#include "support/test_media.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace velmar {
namespace {

using test::TestMedia;

QUrl fileUrl(const QString& path) {
    return QUrl::fromLocalFile(path);
}

QString ja(const char* key) {
    return QString::fromUtf8(key);
}

// A folder of that name among the test media.
QString folder(const QString& name) {
    const QString path = TestMedia::directory() + "/" + name;
    QDir().mkpath(path);
    return path;
}

// A symbolic link of that name among the test media, to `target`.
QString linkTo(const QString& target, const QString& name) {
    const QString path = TestMedia::directory() + "/" + name;
    QFile::remove(path);
    QFile::link(target, path);
    return path;
}

// The messages are looked up; tests run in Japanese unless they say otherwise.
struct MediaLoaderTest : ::testing::Test {
    void SetUp() override { LanguageSettings::shared().setLanguage(AppLanguage::ja); }
    void TearDown() override { MediaLoader::setReadHookForTesting({}); }
};

TestMedia::MovieOptions movieOptions(const QString& codec, const QString& pixelFormat,
                                     QStringList arguments = {}, bool audio = false) {
    TestMedia::MovieOptions o{64, 36};
    o.seconds = 0.2;
    o.codec = codec;
    o.pixelFormat = pixelFormat;
    o.codecArguments = std::move(arguments);
    o.audio = audio;
    return o;
}

struct MovieCase {
    const char* name;
    const char* extension;
    TestMedia::MovieOptions options;
    const char* renamedTo = nullptr;  // a copy under this name
};

std::vector<MovieCase> movieCases() {
    TestMedia::MovieOptions dnxhr = movieOptions("dnxhd", "yuv422p", {"-profile:v", "dnxhr_lb"});
    dnxhr.width = 256;
    dnxhr.height = 144;
    TestMedia::MovieOptions dnxhrAudio = dnxhr;
    dnxhrAudio.audio = true;
    const auto bt709 = movieOptions("libx264", "yuv420p", {"-colorspace", "bt709"});
    return {
        {"mov_h264", "mov", movieOptions("libx264", "yuv420p")},
        {"mov_h264_audio", "mov", movieOptions("libx264", "yuv420p", {}, true)},
        {"mp4_h264_audio", "mp4", movieOptions("libx264", "yuv420p", {}, true)},
        {"m4v_h264", "m4v", movieOptions("libx264", "yuv420p")},
        {"mov_prores", "mov", movieOptions("prores_ks", "yuv422p10le", {}, true)},
        {"mov_prores4444_alpha", "mov",
         movieOptions("prores_ks", "yuva444p10le", {"-profile:v", "4444"})},
        {"mov_qtrle_alpha", "mov", movieOptions("qtrle", "argb")},
        {"mov_dnxhr", "mov", dnxhr},
        {"mxf_dnxhr_audio", "mxf", dnxhrAudio},
        {"mxf_h264", "mxf", movieOptions("libx264", "yuv420p")},
        {"mov_mjpeg", "mov", movieOptions("mjpeg", "yuvj420p")},
        {"mov_png", "mov", movieOptions("png", "rgb24")},
        {"avi_mjpeg_audio", "avi", movieOptions("mjpeg", "yuvj420p", {}, true)},
        {"avi_h264_bframes", "avi", movieOptions("libx264", "yuv420p", {"-bf", "3"})},
        {"BT.601 tagged", "mov", movieOptions("libx264", "yuv420p", {"-colorspace", "bt470bg"})},
        {"BT.709 tagged", "mov", bt709},
        {"full range", "mov", movieOptions("libx264", "yuvj420p", {"-color_range", "pc"})},
        {"non-ASCII name", "mov", bt709, "映像 テスト.mov"},
    };
}

// Every movie we take probes ready with its size, and its poster is the first frame the player
// shows of it, pixel for pixel, whatever the stream says of its colours and whatever its name.
TEST_F(MediaLoaderTest, ProbesEveryMovieWeTakeAndItsPosterIsTheFirstFramePlayed) {
    for (const MovieCase& c : movieCases()) {
        SCOPED_TRACE(c.name);
        QString path = TestMedia::movie(c.extension, c.options);
        ASSERT_FALSE(path.isEmpty());
        if (c.renamedTo != nullptr) {
            path =
                TestMedia::grownCopy(path, QString::fromUtf8(c.renamedTo), QFileInfo(path).size());
        }
        const QSizeF size(c.options.width, c.options.height);
        const MediaLoader::Probe probe = MediaLoader::probe(fileUrl(path));
        EXPECT_TRUE(probe.isReady()) << probe.message.toStdString();
        EXPECT_EQ(probe.size, size);
        EXPECT_EQ(MediaLoader::videoPixelSize(fileUrl(path)), size);

        const ImageRef frame = MediaLoader::firstFrame(fileUrl(path), 32);
        ASSERT_TRUE(frame);
        EXPECT_EQ(frame->format(), QImage::Format_RGBA8888_Premultiplied);
        EXPECT_EQ(frame->width(), 32);
        EXPECT_EQ(frame->height(), std::lround(32.0 * c.options.height / c.options.width));

        // testsrc2 draws an opaque picture, so premultiplied and straight alpha agree.
        const ImageRef poster = MediaLoader::firstFrame(fileUrl(path), 1000);
        test::FakeClock clock;
        MoviePlayer player(QFile::encodeName(path).toStdString(), clock);
        test::waitFor([&] { return player.status() != MoviePlayer::Status::Unknown; });
        const VideoFrameRef played = player.videoOutput().copyFrameForItemTime(0);
        ASSERT_TRUE(poster && played) << player.errorMessage();
        ASSERT_EQ(QSize(played->width(), played->height()), poster->size());
        int differing = 0;
        int opaque = 0;
        for (int y = 0; y < poster->height(); ++y) {
            const uchar* p = poster->constScanLine(y);
            const std::uint8_t* q = played->data() + y * played->bytesPerRow();
            for (int x = 0; x < poster->width(); ++x, p += 4, q += 4) {
                differing += p[0] != q[2] || p[1] != q[1] || p[2] != q[0] || p[3] != q[3];
                opaque += p[3] == 255;
            }
        }
        EXPECT_EQ(differing, 0);
        EXPECT_EQ(opaque, poster->width() * poster->height());
        EXPECT_NE(qGray(poster->pixel(poster->width() / 2, poster->height() / 2)), 0);  // not black
    }
}

TEST_F(MediaLoaderTest, TurnedTrackReportsItsDisplaySize) {
    TestMedia::MovieOptions o = movieOptions("libx264", "yuv420p");
    o.rotation = 90;
    const QString path = TestMedia::movie("mov", o);
    ASSERT_FALSE(path.isEmpty());
    const MediaLoader::Probe probe = MediaLoader::probe(fileUrl(path));
    ASSERT_TRUE(probe.isReady()) << probe.message.toStdString();
    EXPECT_EQ(probe.size, QSizeF(36, 64));
    EXPECT_EQ(MediaLoader::videoPixelSize(fileUrl(path)), QSizeF(36, 64));
    const ImageRef frame = MediaLoader::firstFrame(fileUrl(path), 320);  // never enlarged
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->size(), QSize(36, 64));
}

TEST_F(MediaLoaderTest, RefusesBadInputWithItsMessageAndWithoutHanging) {
    TestMedia::MovieOptions soundOnly = movieOptions("libx264", "yuv420p", {}, true);
    soundOnly.video = false;
    TestMedia::MovieOptions coverArt = soundOnly;
    coverArt.coverArt = true;
    QFile png(TestMedia::still("png"));
    ASSERT_TRUE(png.open(QIODevice::ReadOnly));

    // A movie whose four-character code no decoder knows.
    QFile h264(TestMedia::movie("mov", movieOptions("libx264", "yuv420p")));
    ASSERT_TRUE(h264.open(QIODevice::ReadOnly));
    QByteArray unknown = h264.readAll();
    unknown.replace("avc1", "vlmz");

    // An AVI cut off right after its header: the track is described, no frame follows.
    QFile mjpeg(TestMedia::movie("avi", movieOptions("mjpeg", "yuvj420p")));
    ASSERT_TRUE(mjpeg.open(QIODevice::ReadOnly));
    const QByteArray mjpegBytes = mjpeg.readAll();

    struct Case {
        const char* name;
        QUrl url;
        QString message;
    };
    const Case cases[] = {
        {"web address", QUrl("https://example.com/a.mov"), ja("ファイルが見つかりません")},
        {"missing", fileUrl(TestMedia::directory() + "/missing.mov"),
         ja("ファイルが見つかりません")},
        {"FIFO", fileUrl(TestMedia::fifo("pipe.mov")), ja("通常のローカルファイルではありません")},
        {"folder", fileUrl(folder("folder.mov")), ja("通常のローカルファイルではありません")},
        {"link to a device", fileUrl(linkTo("/dev/zero", "zero.mov")),
         ja("通常のローカルファイルではありません")},
        {"text", fileUrl(TestMedia::file("text.mov", "not a movie at all\n")),
         ja("この形式は再生できません")},
        {"sound only", fileUrl(TestMedia::movie("mov", soundOnly)), ja("映像トラックがありません")},
        {"m4a with cover art", fileUrl(TestMedia::movie("m4a", coverArt)),
         ja("映像トラックがありません")},
        {"png", fileUrl(TestMedia::still("png")), ja("この形式は再生できません")},
        {"jpeg", fileUrl(TestMedia::still("jpg")), ja("この形式は再生できません")},
        {"png named .mov", fileUrl(TestMedia::file("still.mov", png.readAll())),
         ja("この形式は再生できません")},
        {"unknown codec", fileUrl(TestMedia::file("unknown.mov", unknown)),
         ja("対応していないコーデック: vlmz")},
        {"frames cut off",
         fileUrl(TestMedia::file("cut.avi", mjpegBytes.left(mjpegBytes.indexOf("movi") + 4))),
         ja("デコードできません: MJPG")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MediaLoader::Probe probe = MediaLoader::probe(c.url);
        EXPECT_FALSE(probe.isReady());
        EXPECT_EQ(probe.message, c.message);
        EXPECT_FALSE(MediaLoader::firstFrame(c.url, 64));
        if (QString(c.name) != "unknown codec" && QString(c.name) != "frames cut off") {
            EXPECT_FALSE(MediaLoader::videoPixelSize(c.url));
        }
    }
    // The messages are looked up.
    LanguageSettings::shared().setLanguage(AppLanguage::en);
    EXPECT_EQ(MediaLoader::probe(cases[1].url).message, "File not found");
}

TEST_F(MediaLoaderTest, SlowReadsStopAtTheBoundAndSayWhy) {
    const QString path = TestMedia::movie("mov", movieOptions("prores_ks", "yuv422p10le"));
    std::atomic<int> reads{0};
    MediaLoader::setReadHookForTesting([&] {
        ++reads;
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    });
    const MediaLoader::Bounds tight{0.1, 0.1};
    const MediaLoader::Probe probe = MediaLoader::probe(fileUrl(path), tight);
    EXPECT_EQ(probe.message, ja("読み込みに時間がかかりすぎます"));
    EXPECT_FALSE(MediaLoader::videoPixelSize(fileUrl(path), tight));
    EXPECT_FALSE(MediaLoader::firstFrame(fileUrl(path), 64, tight));
    // The whole extraction is bounded too, and the work has stopped when the call returns.
    EXPECT_FALSE(MediaLoader::boundedFirstFrame(fileUrl(path), 64, 0.1));
    EXPECT_FALSE(MediaLoader::boundedFirstFrame(fileUrl(path), 64, 0));
    const int readsWhenDone = reads.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(reads.load(), readsWhenDone);
}

TEST_F(MediaLoaderTest, CancelStopsAnExtraction) {
    const QString path = TestMedia::movie("mov", movieOptions("libx264", "yuv420p"));
    std::atomic<bool> cancel{true};
    EXPECT_FALSE(MediaLoader::boundedFirstFrame(fileUrl(path), 64, 6, &cancel));
    cancel = false;
    EXPECT_TRUE(MediaLoader::boundedFirstFrame(fileUrl(path), 64, 6, &cancel));
}

TEST(MediaLoaderCodecNameTest, ReadsFourCharacterCodes) {
    auto tag = [](const char* s) {
        uint32_t t = 0;
        for (int i = 3; i >= 0; --i) t = t << 8 | static_cast<uint8_t>(s[i]);
        return t;
    };
    struct Case {
        const char* code;
        std::optional<QString> name;
    };
    const Case cases[] = {
        {"avc1", "avc1"},
        {"rle ", "rle"},
        {" ab ", "ab"},
        {"    ", std::nullopt},
        {"\x8a"
         "bcd",
         QString::fromUtf8("äbcd")},  // Mac Roman
    };
    for (const Case& c : cases) EXPECT_EQ(MediaLoader::codecName(tag(c.code)), c.name) << c.code;
    EXPECT_EQ(MediaLoader::codecName(0), std::nullopt);
}

}  // namespace
}  // namespace velmar
