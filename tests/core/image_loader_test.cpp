#include "core/image_loader.h"
#include "models/language_settings.h"
#include "models/localized.h"
#include "support/qt_printers.h"

#include "support/child_probe.h"
#include "support/crafted_still.h"
#include "support/test_media.h"

#include <OpenImageIO/imageio.h>

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace velmar {
namespace {

using test::CraftedStill;
using test::TestMedia;

const QString kNotLocal = QString::fromUtf8("通常のローカルファイルではありません");
const QString kNotFound = QString::fromUtf8("ファイルが見つかりません");
const QString kTooLarge = QString::fromUtf8("画像ファイルが 256 MB を超えています");
const QString kNoHeader = QString::fromUtf8("画像のヘッダを読み取れません");
const QString kTooManyPixels =
    QString::fromUtf8("画像サイズが安全上限（50 MP / 一辺 16384 px）を超えています");

QUrl imageFileUrl(const QString& path) {
    return QUrl::fromLocalFile(path);
}

struct Rgba {
    int r, g, b, a;
};
Rgba at(const ImageRef& image, int x, int y) {
    const uchar* p = image->constScanLine(y) + 4 * x;
    return {p[0], p[1], p[2], p[3]};
}
// 'W'hite, 'R'ed, 'B'lue or '?' for an opaque pixel of the test pattern.
char colourOf(const ImageRef& image, int x, int y) {
    const Rgba c = at(image, x, y);
    if (c.r > 190 && c.g > 190 && c.b > 190) return 'W';
    if (c.r > 150 && c.g < 90 && c.b < 90) return 'R';
    if (c.b > 150 && c.r < 90 && c.g < 90) return 'B';
    return '?';
}

// Each case runs in a child process: a crafted header must neither crash the decoder nor make
// it allocate for the picture it claims.
TEST(ImageLoaderTest, RefusesUnsafeOrUnreadableFilesWithoutCrashingOrBallooning) {
    const QString png = TestMedia::still("png");
    auto crafted = [](const QString& name, const QByteArray& bytes) {
        return imageFileUrl(TestMedia::file(name, bytes));
    };
    struct Case {
        const char* name;
        QUrl url;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {"web address", QUrl("https://example.com/a.png"), kNotLocal},
        {"missing file", imageFileUrl(TestMedia::directory() + "/missing.png"), kNotFound},
        {"FIFO", imageFileUrl(TestMedia::fifo("pipe.png")), kNotLocal},
        {"text named png", crafted("text.png", "just some text\n"), kNoHeader},
        {"16385 x 1", imageFileUrl(TestMedia::headerOnlyStill("png", 16385, 1)), kTooManyPixels},
        {"7072 x 7072", imageFileUrl(TestMedia::headerOnlyStill("png", 7072, 7072)),
         kTooManyPixels},
        {"16384 x 3051", imageFileUrl(TestMedia::headerOnlyStill("png", 16384, 3051)),
         std::nullopt},
        {"PNG of a million squared",
         imageFileUrl(TestMedia::headerOnlyStill("png", 1 << 20, 1 << 20)), kTooManyPixels},
        {"exactly 256 MiB",
         imageFileUrl(TestMedia::grownCopy(png, "limit.png", ImageLoader::kMaxFileBytes)),
         std::nullopt},
        {"one byte more",
         imageFileUrl(TestMedia::grownCopy(png, "over.png", ImageLoader::kMaxFileBytes + 1)),
         kTooLarge},
        {"GIF screen 16384 squared", crafted("s16384.gif", CraftedStill::gif(16384, 16384, 1, 1)),
         kTooManyPixels},
        {"GIF screen 32768 squared", crafted("s32768.gif", CraftedStill::gif(32768, 32768, 1, 1)),
         kTooManyPixels},
        {"GIF screen 20000 squared named png",
         crafted("s20000.png", CraftedStill::gif(20000, 20000, 1, 1)), kTooManyPixels},
        {"GIF frame larger than the limits",
         crafted("frame.gif", CraftedStill::gif(16, 16, 20000, 20000)), kTooManyPixels},
        {"EXR window of a million squared",
         crafted("huge.exr", CraftedStill::exr(1 << 20, 1 << 20)), kTooManyPixels},
        {"EXR window of 16384 x 3052 named tif",
         crafted("area.tif", CraftedStill::exr(16384, 3052)), kTooManyPixels},
        {"EXR attribute past the end of the file",
         crafted("attribute.exr", CraftedStill::exr(16, 16, 0x7fffff00)), kNoHeader},
        // The library sets up a buffer for a whole tile on opening, whatever the window.
        {"EXR tile of 65536 squared", crafted("tile.exr", CraftedStill::exr(16, 16, -1, 65536)),
         kTooManyPixels},
        {"EXR tile of 64 on 16 x 16", crafted("tile64.exr", CraftedStill::exr(16, 16, -1, 64)),
         std::nullopt},
        // Sixteen million offsets of eight bytes each cannot follow in 300 bytes.
        {"EXR offset table past the end of the file",
         crafted("offsets.exr", CraftedStill::exr(4096, 4096, -1, 1)), kNoHeader},
    };
    const QUrl warmUp[] = {imageFileUrl(png), imageFileUrl(TestMedia::still("gif")),
                           imageFileUrl(TestMedia::still("exr"))};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_FALSE(c.url.isEmpty());
        const auto child = test::ChildProbe::run(
            [&] {
                for (const QUrl& u : warmUp) (void)ImageLoader::rejectionReason(u);
            },
            [&] {
                QByteArray out = ImageLoader::rejectionReason(c.url).value_or("-").toUtf8();
                if (!c.expected) return out;
                // A refused file gives nothing anywhere.
                for (bool given :
                     {ImageLoader::pixelSize(c.url).has_value(), bool(ImageLoader::loadFull(c.url)),
                      bool(ImageLoader::loadThumbnail(c.url, 64))})
                    if (given) out += " but decoded";
                return out;
            });
        ASSERT_TRUE(child.exited);
        EXPECT_EQ(QString::fromUtf8(child.output), c.expected.value_or("-"));
        EXPECT_LE(child.growthBytes, 64 << 20);
    }
    // The one file within the limits that holds no real picture data reads its size only.
    EXPECT_EQ(ImageLoader::pixelSize(imageFileUrl(TestMedia::headerOnlyStill("png", 16384, 3051))),
              QSize(16384, 3051));
}

// The refusals stay Japanese keys whatever language is in force (clips keep them and are shown
// later), and each has an English text for where it is shown.
TEST(ImageLoaderTest, RefusalsAreKeysWithEnglishTexts) {
    LanguageSettings& language = LanguageSettings::shared();
    const AppLanguage before = language.language();
    language.setLanguage(AppLanguage::en);
    EXPECT_EQ(ImageLoader::rejectionReason(QUrl("https://example.com/a.png")), kNotLocal);
    language.setLanguage(before);
    for (const QString& key : {kNotLocal, kNotFound, kTooLarge, kNoHeader, kTooManyPixels}) {
        const QString english = localized(key, AppLanguage::en);
        EXPECT_NE(english, key);
        EXPECT_FALSE(
            english.contains(QRegularExpression(R"([\x{3000}-\x{9fff}\x{ff00}-\x{ffef}])")))
            << english.toStdString();
    }
}

// Every still format the rundown accepts decodes to the test pattern at its size; those that
// hold a soft alpha channel keep it, premultiplied.
class StillFormatTest : public ::testing::TestWithParam<QString> {};

TEST_P(StillFormatTest, DecodesThePatternUprightWithItsAlpha) {
    const QString ext = GetParam();
    if (ext == "heic" && !TestMedia::canWriteHeic())
        GTEST_SKIP() << "OpenImageIO cannot write HEIC here";
    const QUrl url = imageFileUrl(TestMedia::still(ext, {64, 48}));
    EXPECT_EQ(ImageLoader::pixelSize(url), QSize(64, 48));
    const ImageRef image = ImageLoader::loadFull(url);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->format(), QImage::Format_RGBA8888_Premultiplied);
    EXPECT_EQ(image->size(), QSize(64, 48));
    EXPECT_EQ(colourOf(image, 10, 30), 'R');
    EXPECT_EQ(colourOf(image, 54, 30), 'B');  // at full strength: opaque
    if (!QStringList{"png", "tif", "psd", "heic", "exr"}.contains(ext)) return;
    const ImageRef soft =
        ImageLoader::loadFull(imageFileUrl(TestMedia::still(ext, {64, 48, true})));
    ASSERT_TRUE(soft);
    const int tolerance = ext == "heic" ? 12 : 2;
    for (int x : {0, 16, 40, 63}) {
        const int alpha = x * 255 / 63;
        const Rgba c = at(soft, x, 30);
        EXPECT_NEAR(c.a, alpha, tolerance) << x;
        EXPECT_NEAR(x < 32 ? c.r : c.b, alpha, tolerance) << x;  // full colour scaled by alpha
        EXPECT_LE(std::max(c.r, c.b), c.a) << x;
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, StillFormatTest,
                         ::testing::Values("png", "tif", "psd", "jpg", "heic", "bmp", "gif", "exr"),
                         [](const auto& info) { return info.param.toStdString(); });

// Where the stored corners land for each orientation: the colours of the upright picture's
// top-left, top-right, bottom-left and bottom-right corners. Stored: top row white, bottom left
// red, bottom right blue.
struct OrientationCase {
    int orientation;
    const char* corners;
};
const OrientationCase kOrientations[] = {
    {1, "WWRB"}, {2, "WWBR"}, {3, "BRWW"}, {4, "RBWW"}, {5, "WRWB"},
    {6, "RWBW"}, {7, "BWRW"}, {8, "WBWR"}, {9, "WWRB"},  // unknown: upright
};

// TIFF is checked at its very corners; JPEG (lossy) away from the thin white row, where the
// bottom corners of the table show through. Every decode path turns the picture once.
TEST(ImageLoaderTest, TurnsStillsUprightByTheirOrientation) {
    for (const char* ext : {"tif", "jpg"}) {
        for (const auto& c : kOrientations) {
            SCOPED_TRACE(testing::Message() << ext << " " << c.orientation);
            TestMedia::StillOptions options{64, 48};
            options.orientation = c.orientation;
            const QUrl url = imageFileUrl(TestMedia::still(ext, options));
            const QSize upright =
                c.orientation > 4 && c.orientation < 9 ? QSize(48, 64) : QSize(64, 48);
            EXPECT_EQ(ImageLoader::pixelSize(url), upright);
            const ImageRef full = ImageLoader::loadFull(url);
            const ImageRef thumb = ImageLoader::loadThumbnail(url, 32);
            const ImageRef fitted = ImageLoader::loadFitted(url, CanvasFormat{24, 24, "x"});
            ASSERT_TRUE(full && thumb && fitted);
            ASSERT_EQ(full->size(), upright);
            EXPECT_EQ(thumb->size(), upright / 2);
            EXPECT_EQ(fitted->size(), upright * 0.375);
            const int inset = QString(ext) == "tif" ? 0 : 4;
            const int r = upright.width() - 1 - inset;
            const int b = upright.height() - 1 - inset;
            const QPoint corners[4] = {{inset, inset}, {r, inset}, {inset, b}, {r, b}};
            for (int i = 0; i < 4; ++i) {
                if (inset > 0 && c.corners[i] == 'W') continue;
                EXPECT_EQ(colourOf(full, corners[i].x(), corners[i].y()), c.corners[i]) << i;
            }
            if (c.orientation == 1) {
                for (int o : {0, 9, -3}) EXPECT_EQ(ImageLoader::applyOrientation(full, o), full);
            }
        }
    }
}

TEST(ImageLoaderTest, FitsToTheCanvasWithoutEverEnlarging) {
    struct Case {
        const char* ext;
        QSize stored;
        CanvasFormat canvas;
        QSize expected;
    };
    const Case cases[] = {
        {"png", {1920, 1080}, {3840, 2160, "UHD 4K"}, {1920, 1080}},  // fits: as it is
        {"psd", {800, 400}, {192, 108, "x"}, {192, 96}},              // s = 0.24, redrawn
        {"png", {768, 432}, {192, 108, "x"}, {192, 108}},             // s = 0.25
        {"exr", {300, 100}, {100, 100, "x"}, {100, 33}},              // round(33.3)
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ext);
        const QUrl url =
            imageFileUrl(TestMedia::still(c.ext, {c.stored.width(), c.stored.height()}));
        const ImageRef image = ImageLoader::loadFitted(url, c.canvas);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->size(), c.expected);
        EXPECT_EQ(colourOf(image, image->width() / 4, image->height() / 2), 'R');
        EXPECT_EQ(colourOf(image, image->width() * 3 / 4, image->height() / 2), 'B');
    }
}

TEST(ImageLoaderTest, ThumbnailsKeepProportionsAndNeverEnlarge) {
    const QUrl url = imageFileUrl(TestMedia::still("png", {64, 48}));
    for (const auto& [maxPixel, expected] :
         {std::pair{320, QSize(64, 48)}, std::pair{0, QSize(1, 1)}}) {
        const ImageRef image = ImageLoader::loadThumbnail(url, maxPixel);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->size(), expected) << maxPixel;
    }
    // Smooth downscaling: the boundary between red and blue blends, it does not jump.
    const ImageRef half = ImageLoader::redraw(ImageLoader::loadFull(url), 21, 16);
    ASSERT_TRUE(half);
    const Rgba middle = at(half, 10, 8);
    EXPECT_GT(middle.r, 40);
    EXPECT_GT(middle.b, 40);
    EXPECT_FALSE(ImageLoader::redraw(half, 0, 5));
}

TEST(ImageLoaderTest, ConvertsLinearExrToSrgbAndPremultipliesIt) {
    // Straight linear 0.2140 is sRGB 128; stored premultiplied by alpha 0.5.
    const QString path = TestMedia::directory() + "/linear.exr";
    auto out = OIIO::ImageOutput::create(path.toStdString());
    ASSERT_TRUE(out);
    OIIO::ImageSpec spec(4, 4, 4, OIIO::TypeDesc::FLOAT);
    spec.alpha_channel = 3;
    ASSERT_TRUE(out->open(path.toStdString(), spec));
    std::vector<float> pixels;
    for (int i = 0; i < 16; ++i) pixels.insert(pixels.end(), {0.107f, 0.0f, 0.5f, 0.5f});
    ASSERT_TRUE(out->write_image(OIIO::TypeDesc::FLOAT, pixels.data()));
    out->close();
    const ImageRef image = ImageLoader::loadFull(imageFileUrl(path));
    ASSERT_TRUE(image);
    const Rgba c = at(image, 1, 1);
    EXPECT_NEAR(c.a, 128, 1);
    EXPECT_NEAR(c.r, 64, 1);  // sRGB 128 x 0.5
    EXPECT_EQ(c.g, 0);
    EXPECT_EQ(c.b, 128);  // linear 1.0 stays 255, x 0.5
}

}  // namespace
}  // namespace velmar
