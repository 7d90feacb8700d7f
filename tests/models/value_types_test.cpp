#include "models/canvas_format.h"
#include "models/clip.h"
#include "models/frame_rate.h"
#include "models/language_settings.h"
#include "models/localized.h"
#include "models/motion_kind.h"
#include "models/playout_media.h"

#include <gtest/gtest.h>

#include <limits>

namespace velmar {
namespace {

TEST(ClipTest, KindForMatchesExtensionsCaseInsensitively) {
    struct Case {
        const char* path;
        std::optional<Clip::Kind> kind;
    };
    const Case cases[] = {
        {"Clip.MOV", Clip::Kind::movie},       {"still.JPEG", Clip::Kind::still},
        {"/media/a/b.Mp4", Clip::Kind::movie}, {"/media/layers.psd", Clip::Kind::still},
        {"scan.TiF", Clip::Kind::still},       {"show.mxf", Clip::Kind::movie},
        {"notes.txt", std::nullopt},           {"/media/noextension", std::nullopt},
        {"/media/dir.png/file", std::nullopt},  // the folder's extension does not count
        {"archive.png.zip", std::nullopt},      // only the last extension counts
        {"ends.with.dot.", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Clip::kindFor(QString::fromUtf8(c.path)), c.kind) << c.path;
    }
    EXPECT_EQ(Clip::kindFor(QUrl::fromLocalFile(QStringLiteral("/m/Ünïcode film.M4V"))),
              Clip::Kind::movie);
    EXPECT_EQ(Clip::stillExtensions().size(), 10);
    EXPECT_EQ(Clip::movieExtensions().size(), 5);
}

TEST(ClipTest, LoopLabel) {
    struct Case {
        Clip::Kind kind;
        int loopCount;
        std::optional<QString> label;
    };
    const Case cases[] = {
        {Clip::Kind::still, 0, std::nullopt},
        {Clip::Kind::still, 3, std::nullopt},
        {Clip::Kind::movie, 0, QStringLiteral("∞")},
        {Clip::Kind::movie, 1, std::nullopt},
        {Clip::Kind::movie, 12, QStringLiteral("×12")},
        {Clip::Kind::movie, 10000, QStringLiteral("×10000")},
    };
    for (const Case& c : cases) {
        Clip clip;
        clip.kind = c.kind;
        clip.loopCount = c.loopCount;
        EXPECT_EQ(clip.loopLabel(), c.label) << c.loopCount;
    }
}

TEST(ClipTest, NewClipsDrawFreshIdsAndCompareAllFields) {
    const Clip a;
    const Clip b;
    EXPECT_NE(a.id, b.id);
    EXPECT_EQ(a.loopCount, 1);
    EXPECT_TRUE(a.transform.isIdentity());

    Clip c = a;
    EXPECT_EQ(c, a);
    EXPECT_EQ(qHash(c), qHash(a));
    c.motion = MotionKind::fade;
    EXPECT_NE(c, a);
    c = a;
    c.contentAnchorY = 0.0;
    EXPECT_NE(c, a);
    c = a;
    c.unreadableReason = QString();
    EXPECT_NE(c, a);

    // -0.0 equals 0.0 and must hash alike.
    Clip d = a;
    d.transform.offsetX = -0.0;
    EXPECT_EQ(d, a);
    EXPECT_EQ(qHash(d), qHash(a));
}

TEST(CanvasFormatTest, PresetsIdsAndEquality) {
    const auto& presets = CanvasFormat::presets();
    ASSERT_EQ(presets.size(), 5);
    EXPECT_EQ(presets[0], (CanvasFormat{1920, 1080, QStringLiteral("HD 1080")}));
    EXPECT_EQ(presets[4], (CanvasFormat{4096, 2160, QStringLiteral("DCI 4K")}));
    EXPECT_EQ(presets[3].id(), QStringLiteral("2048x1080"));

    const CanvasFormat custom{1920, 1080, QStringLiteral("カスタム")};
    EXPECT_EQ(custom.id(), presets[0].id());
    EXPECT_NE(custom, presets[0]);
    EXPECT_EQ(CanvasFormat(), presets[0]);
}

TEST(CanvasFormatTest, LabelTranslatesOnlyTheCustomName) {
    LanguageSettings& languages = LanguageSettings::shared();
    const AppLanguage saved = languages.language();

    languages.setLanguage(AppLanguage::ja);
    EXPECT_EQ(CanvasFormat::presets()[0].label(), QStringLiteral("HD 1080  1920×1080"));
    EXPECT_EQ((CanvasFormat{640, 480, CanvasFormat::customName()}).label(),
              QStringLiteral("カスタム  640×480"));

    languages.setLanguage(AppLanguage::en);
    EXPECT_EQ((CanvasFormat{640, 480, CanvasFormat::customName()}).label(),
              QStringLiteral("Custom  640×480"));
    EXPECT_EQ((CanvasFormat{640, 480, QStringLiteral("カスタム ")}).label(),
              QStringLiteral("カスタム   640×480"));  // not exactly the custom name
    EXPECT_EQ(CanvasFormat::presets()[1].label(), QStringLiteral("UHD 4K  3840×2160"));

    languages.setLanguage(saved);
}

TEST(FrameRateTest, Labels) {
    struct Case {
        qint64 timeScale, frameDuration;
        const char* label;
    };
    const Case cases[] = {
        {24000, 1001, "23.98 p"},
        {24, 1, "24 p"},
        {25, 1, "25 p"},
        {30000, 1001, "29.97 p"},
        {30, 1, "30 p"},
        {50, 1, "50 p"},
        {60000, 1001, "59.94 p"},
        {60, 1, "60 p"},
        {48, 2, "24 p"},
        {60, 0, "0 p"},
        {60, -5, "0 p"},
        {0, 1, "0 p"},
        {1, 3, "0.33 p"},
        {120000, 1001, "119.88 p"},
        {std::numeric_limits<qint64>::max(), std::numeric_limits<qint64>::max(), "1 p"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ((FrameRate{c.timeScale, c.frameDuration}.label()), QString::fromLatin1(c.label))
            << c.timeScale << "/" << c.frameDuration;
    }
    QStringList presetLabels;
    for (const FrameRate& r : FrameRate::presets()) presetLabels << r.label();
    EXPECT_EQ(presetLabels.join(QLatin1Char(',')),
              QStringLiteral("23.98 p,24 p,25 p,29.97 p,30 p,50 p,59.94 p,60 p"));
}

TEST(FrameRateTest, EqualityIsExactAndSameRateComparesValues) {
    const FrameRate a{60, 1};
    const FrameRate b{120, 2};
    EXPECT_NE(a, b);
    EXPECT_NE(a.id(), b.id());
    EXPECT_EQ(b.id(), QStringLiteral("120/2"));
    EXPECT_EQ(FrameRate().id(), QStringLiteral("60000/1001"));

    constexpr qint64 big = std::numeric_limits<qint64>::max();
    struct Case {
        FrameRate a, b;
        bool same;
    };
    const Case cases[] = {
        {{60, 1}, {120, 2}, true},
        {{60000, 1001}, {60, 1}, false},
        {{30000, 1001}, {60000, 2002}, true},
        {{big, big - 1}, {big, big - 1}, true},
        {{big, big - 1}, {big - 1, big - 2}, false},
        // The cross products wrap to the same 64-bit value (2^64 and 0); the rates differ.
        {{qint64(1) << 32, 1}, {0, qint64(1) << 32}, false},
        {{60, 0}, {30, 0}, false},  // no rate: only an identical value matches
        {{60, 0}, {60, 0}, true},
        {{0, 1}, {60, 0}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sameRate(c.a, c.b), c.same)
            << c.a.id().toStdString() << " " << c.b.id().toStdString();
        EXPECT_EQ(sameRate(c.b, c.a), c.same);
    }
}

TEST(PlayoutMediaTest, CopiesShareTheImage) {
    auto image = std::make_shared<const QImage>(4, 4, QImage::Format_RGBA8888_Premultiplied);
    std::weak_ptr<const QImage> watch = image;
    {
        const PlayoutMedia media = PlayoutMedia::still(std::move(image));
        const PlayoutMedia copy = media;  // NOLINT: the copy is the point
        ASSERT_TRUE(copy.isStill());
        EXPECT_EQ(copy.asStill()->get(), media.asStill()->get());
        EXPECT_EQ(copy.asMovie(), nullptr);
    }
    EXPECT_TRUE(watch.expired());

    const PlayoutMedia movie = PlayoutMedia::movie(nullptr, nullptr, QSizeF(1920, 1080));
    ASSERT_TRUE(movie.isMovie());
    EXPECT_EQ(movie.asMovie()->size, QSizeF(1920, 1080));
}

// Every key these types look up has an English entry.
TEST(ModelStringsTest, EveryKeyHasAnEnglishTranslation) {
    QStringList keys = {CanvasFormat::customName()};
    for (MotionKind kind : MotionKind::allCases()) keys << QString::fromUtf8(kind.titleKey());
    for (const QString& key : keys) {
        const QString english = localized(key, AppLanguage::en);
        EXPECT_NE(english, key) << key.toStdString();
        EXPECT_FALSE(english.isEmpty());
    }
    EXPECT_EQ(localized(MotionKind(MotionKind::zoom).titleKey(), AppLanguage::en),
              QStringLiteral("Zoom (0%→100%)"));
}

}  // namespace
}  // namespace velmar
