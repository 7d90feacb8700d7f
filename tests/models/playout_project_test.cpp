#include "models/playout_project.h"

#include "models/json_reader.h"
#include "models/project_crypto.h"
#include "support/qt_printers.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmar {
namespace {

using namespace Qt::Literals::StringLiterals;

using LoadKind = PlayoutProject::LoadError::Kind;

struct TempFiles {
    QTemporaryDir dir;
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    QString sealedJson(const QByteArray& json, const QString& name = u"p.tavrendek"_s) {
        return write(name, ProjectCrypto::seal(json));
    }
};

std::optional<LoadKind> loadFailure(const QString& path) {
    try {
        PlayoutProject::load(path);
    } catch (const PlayoutProject::LoadError& error) {
        return error.kind();
    }
    return std::nullopt;
}

PlayoutProject::ClipRecord clipRecord(const QString& path) {
    PlayoutProject::ClipRecord clip;
    clip.path = path;
    clip.displayName = u"clip"_s;
    return clip;
}

PlayoutProject projectWithClips(int perGroup, int groups) {
    PlayoutProject project;
    for (int g = 0; g < groups; ++g) {
        PlayoutProject::GroupRecord group;
        group.name = u"Tab %1"_s.arg(g);
        for (int i = 0; i < perGroup; ++i) group.clips.append(clipRecord(u"/m/%1.png"_s.arg(i)));
        project.groups.append(group);
    }
    return project;
}

TEST(PlayoutProjectTest, EmptyObjectLoadsNewProjectValuesAsVersion3) {
    const PlayoutProject project = PlayoutProject::decode("{}");
    PlayoutProject expected;
    expected.formatVersion = 3;
    EXPECT_EQ(project, expected);
    // Nulls count as absent.
    EXPECT_EQ(PlayoutProject::decode(
                  R"({"fadeDuration":null,"groups":null,"dsk":null,"formatVersion":null})"),
              expected);
}

TEST(PlayoutProjectTest, RoundTripsThroughASealedFile) {
    PlayoutProject project = projectWithClips(3, 2);
    project.dsk = DSKRecord{{u"/k/a.png"_s, u"/k/b.mov"_s}, 1, false};
    project.keyAlphaMode = KeyAlphaMode::premultiplied;
    project.frameRate = FrameRate{25, 1};
    project.fadeDuration = 1.25;
    auto& clip = project.groups[0].clips[1];
    clip.pixelWidth = 640;
    clip.motion = MotionKind::cut;
    clip.motionDuration = 2.5;
    clip.transform = ClipTransform{0.25, -0.5, 2, 45, 0.5};
    clip.loopCount = 0;
    clip.contentAnchorY = 0.75;
    project.groups[1].markers = QList<PlayoutProject::MarkerRecord>{{2, u"Break"_s}};
    project.groups[0].markers = QList<PlayoutProject::MarkerRecord>{};

    TempFiles files;
    const QString path = files.write(u"show.tavrendek"_s, project.sealedFileData());
    EXPECT_EQ(PlayoutProject::load(path), project);

    // Keys are sorted.
    const QByteArray compact = *project.encoded(PlayoutProject::Encoding::compact);
    EXPECT_LT(compact.indexOf("\"audioEnabled\""), compact.indexOf("\"canvas\""));
    // Written only when not the default: identity transform, loop count 1.
    const QByteArray plain = *projectWithClips(1, 1).encoded();
    for (const char* key : {"transform", "loopCount", "\"dsk\""})
        EXPECT_FALSE(plain.contains(key)) << key;
}

TEST(PlayoutProjectTest, NonFiniteValuesAreNeverWritten) {
    PlayoutProject project = projectWithClips(1, 1);
    project.fadeDuration = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(project.encoded().has_value());
    EXPECT_THROW(project.sealedFileData(), JsonDecodingError);
    project.fadeDuration = 0.5;
    project.groups[0].clips[0].transform =
        ClipTransform{0, 0, std::numeric_limits<double>::quiet_NaN(), 0, 1};
    EXPECT_FALSE(project.encoded().has_value());
}

TEST(PlayoutProjectTest, SizeLimitIsCheckedBeforeReading) {
    TempFiles files;
    const QByteArray json = R"({"groups":[]})";
    const QByteArray sealed = ProjectCrypto::seal(json);
    // A file of exactly 16 MiB is read (and here fails as damaged: it is not a real container);
    // one byte more is refused as too large without being opened.
    QByteArray exact = sealed + QByteArray(PlayoutProject::maxFileSize - sealed.size(), ' ');
    const QString exactPath = files.write(u"exact"_s, exact);
    EXPECT_THROW(PlayoutProject::load(exactPath), ProjectCrypto::Failure);
    const QString over = files.write(u"over"_s, exact + "x");
    EXPECT_EQ(loadFailure(over), LoadKind::tooLarge);
    EXPECT_THROW(PlayoutProject::load(files.dir.filePath(u"missing"_s)), PlayoutProject::ReadError);
    EXPECT_THROW(PlayoutProject::load(files.write(u"plain"_s, json)), ProjectCrypto::Failure);
}

TEST(PlayoutProjectTest, ClipCountLimit) {
    TempFiles files;
    const QString ok =
        files.write(u"ok"_s, ProjectCrypto::seal(*projectWithClips(2500, 4).encoded()));
    EXPECT_EQ(PlayoutProject::load(ok).clipCount(), 10000);
    const QString over =
        files.write(u"over"_s, ProjectCrypto::seal(*projectWithClips(3334, 3).encoded()));
    EXPECT_EQ(loadFailure(over), LoadKind::tooLarge);
    try {
        projectWithClips(10001, 1).sealedFileData();
        ADD_FAILURE();
    } catch (const PlayoutProject::SaveError& error) {
        EXPECT_EQ(error.kind(), PlayoutProject::SaveError::Kind::tooManyClips);
        EXPECT_EQ(error.value(), 10001);
        EXPECT_TRUE(error.errorDescription().contains(u"10001"_s));
    }
}

TEST(PlayoutProjectTest, CanvasAndFrameRateLimits) {
    // width, height, time scale, frame duration; only the first is in range.
    const int cases[][4] = {
        {4096, 2160, 24, 1}, {4097, 1000, 24, 1},  {0, 1080, 24, 1},
        {1920, 2161, 24, 1}, {1920, 1080, 120, 2},
    };
    TempFiles files;
    for (const auto& [w, h, scale, duration] : cases) {
        const QByteArray json =
            QString::asprintf(R"({"canvas":{"width":%d,"height":%d,"name":"x"},)"
                              R"("frameRate":{"timeScale":%d,"frameDuration":%d}})",
                              w, h, scale, duration)
                .toUtf8();
        const auto expected = w == 4096 ? std::nullopt : std::optional(LoadKind::invalidFormat);
        EXPECT_EQ(loadFailure(files.sealedJson(json)), expected) << json.constData();
    }
}

TEST(PlayoutProjectTest, DecodingRulesOfTheKeyTables) {
    const char* failing[] = {
        R"({"groups":[{"name":"A","selectedIndex":0,"clips":[{"path":"/a.png"}]}]})",
        R"({"groups":[{"name":"A","clips":[]}]})",  // no selectedIndex
        R"({"groups":{}})",
        R"({"formatVersion":"10"})",
        R"({"fadeDuration":1e400})",
        R"({"autoAdvance":1})",
        R"({"dsk":{"paths":[1]}})",
        R"({"dsk":{"loops":"yes"}})",
        R"([])",
    };
    for (const char* json : failing) {
        EXPECT_THROW(PlayoutProject::decode(json), JsonDecodingError) << json;
    }

    // Unknown keys are ignored at every level; integral doubles are integers.
    const PlayoutProject p = PlayoutProject::decode(
        R"({"extra":1,"formatVersion":10.0,"groups":[{"name":"A","selectedIndex":1,"clips":[{"path":"/a","displayName":"a","x":[]}],"y":{}}]})");
    EXPECT_EQ(p.formatVersion, 10);
    EXPECT_FALSE(p.groups[0].markers.has_value());

    // The keyer: "path" only when "paths" is absent; loops default on.
    EXPECT_EQ(PlayoutProject::decode(R"({"dsk":{"path":"/k.png"}})").dsk,
              (DSKRecord{{u"/k.png"_s}, 0, true}));
    EXPECT_EQ(PlayoutProject::decode(R"({"dsk":{}})").dsk, (DSKRecord{{}, 0, true}));
    EXPECT_EQ(PlayoutProject::decode(R"({"dsk":{"paths":[],"path":"/k.png"}})").dsk->paths,
              QStringList());
}

TEST(PlayoutProjectTest, MakeGroupsBoundsEveryValue) {
    TempFiles files;
    const QString present = files.write(u"here.MOV"_s, "x");
    const QByteArray json =
        QByteArray(R"({"groups":[{"name":"A","selectedIndex":99,"clips":[)") + R"({"path":")" +
        present.toUtf8() +
        R"(","displayName":"kept","pixelWidth":0,"pixelHeight":20000,"motionDuration":0.01,"loopCount":-5,"contentAnchorX":1.5,"contentAnchorY":-1,"transform":{"offsetX":-9,"offsetY":3,"scale":0,"rotation":720,"opacity":-1}},)"
        R"({"path":"/gone/away.png","displayName":"moved","pixelWidth":16384,"pixelHeight":1,"motionDuration":9,"loopCount":99999,"transform":{"offsetX":0.5,"offsetY":0,"scale":5000,"rotation":-720,"opacity":2}},)"
        R"({"path":"/gone/notes.txt","displayName":"n"})"
        R"(],"markers":[{"position":2,"name":"Beta"},{"position":0,"name":"Alpha"},{"position":-1,"name":"Low"},{"position":4,"name":"High"},{"position":2,"name":"Gamma"},{"position":3,"name":"End"}]},)"
        R"({"name":"B","selectedIndex":-4,"clips":[]}]})";
    const QList<ClipGroup> groups = PlayoutProject::decode(json).makeGroups();
    ASSERT_EQ(groups.size(), 2);
    const ClipGroup& a = groups[0];
    EXPECT_EQ(a.selectedIndex, 3);
    EXPECT_EQ(groups[1].selectedIndex, 0);
    EXPECT_NE(a.id, groups[1].id);

    QStringList names;
    for (const Marker& m : a.markers) names << m.name;
    EXPECT_EQ(names, (QStringList{u"Alpha"_s, u"Beta"_s, u"Gamma"_s, u"End"_s}));

    const Clip& c0 = a.clips[0];
    EXPECT_EQ(c0.kind, Clip::Kind::movie);
    EXPECT_FALSE(c0.isMissing);
    EXPECT_FALSE(c0.pixelWidth || c0.pixelHeight);
    EXPECT_EQ(c0.motionDuration, 0.1);
    EXPECT_EQ(c0.loopCount, 0);
    EXPECT_FALSE(c0.contentAnchorX.has_value());
    EXPECT_EQ(c0.contentAnchorY, -1.0);
    EXPECT_EQ(c0.transform, (ClipTransform{-2, 2, 0.05, 180, 0}));

    const Clip& c1 = a.clips[1];
    EXPECT_TRUE(c1.isMissing);
    EXPECT_EQ(c1.displayName, u"moved"_s);
    EXPECT_TRUE(c1.pixelWidth == 16384 && c1.pixelHeight == 1);
    EXPECT_EQ(c1.motionDuration, 5.0);
    EXPECT_EQ(c1.loopCount, 10000);
    EXPECT_EQ(c1.transform, (ClipTransform{0.5, 0, 4096, -180, 1}));
    EXPECT_EQ(a.clips[2].kind, Clip::Kind::still);

    // Records made in code may hold what JSON cannot: non-finite values are mended too.
    PlayoutProject::ClipRecord odd = clipRecord(u"/x.png"_s);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    odd.motionDuration = nan;
    odd.contentAnchorX = nan;
    odd.transform = ClipTransform{nan, nan, nan, nan, nan};
    const Clip mended = PlayoutProject::makeClip(odd);
    EXPECT_FALSE(mended.motionDuration.has_value());
    EXPECT_FALSE(mended.contentAnchorX.has_value());
    EXPECT_EQ(mended.transform, ClipTransform::identity());
}

}  // namespace
}  // namespace velmar
