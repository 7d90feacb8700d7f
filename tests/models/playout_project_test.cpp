#include "models/playout_project.h"

#include "models/json_reader.h"
#include "models/project_crypto.h"
#include "support/child_probe.h"
#include "support/qt_printers.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace velmar {
namespace {

using namespace Qt::Literals::StringLiterals;
using LoadKind = PlayoutProject::LoadError::Kind;

struct TempFiles {
    QTemporaryDir dir;
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        return path;
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

PlayoutProject projectWithClips(int perGroup, int groups) {
    PlayoutProject project;
    for (int g = 0; g < groups; ++g) {
        project.groups.append(
            {.name = u"Tab %1"_s.arg(g), .markers = QList<PlayoutProject::MarkerRecord>{}});
        for (int i = 0; i < perGroup; ++i)
            project.groups[g].clips.append({.path = u"/m/%1.png"_s.arg(i), .displayName = u"c"_s});
    }
    return project;
}

TEST(PlayoutProjectTest, EmptyObjectLoadsNewProjectValuesAsVersion3) {
    PlayoutProject expected;
    expected.formatVersion = 3;
    EXPECT_EQ(PlayoutProject::decode("{}"), expected);
    EXPECT_EQ(PlayoutProject::decode(
                  R"({"fadeDuration":null,"groups":null,"dsk":null,"formatVersion":null})"),
              expected);
}

TEST(PlayoutProjectTest, RoundTripsThroughASealedFileAndNeverWritesNonFiniteValues) {
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
    TempFiles files;
    EXPECT_EQ(PlayoutProject::load(files.write(u"show"_s, project.sealedFileData())), project);

    // Written only when not the default: identity transform, loop count 1, no keyer.
    const QByteArray plain = *projectWithClips(1, 1).encoded();
    for (const char* key : {"transform", "loopCount", "\"dsk\""})
        EXPECT_FALSE(plain.contains(key)) << key;

    project.fadeDuration = std::numeric_limits<double>::infinity();
    EXPECT_THROW(project.sealedFileData(), JsonDecodingError);
    project.fadeDuration = 0.5;
    clip.transform = ClipTransform{0, 0, std::numeric_limits<double>::quiet_NaN(), 0, 1};
    EXPECT_FALSE(project.encoded().has_value());
}

// The text is QJsonDocument's to the byte, in both styles: every string escape, every number
// form and the indentation of empty and filled containers.
TEST(PlayoutProjectTest, EncodingIsQJsonDocumentsText) {
    PlayoutProject project = projectWithClips(2, 2);
    project.dsk = DSKRecord{{u"/k/\"q\"\\.png"_s, u"/k/\u00e9\u6f22.mov"_s}, 1, false};
    project.groups[1].markers.reset();
    project.groups[0].markers =
        QList<PlayoutProject::MarkerRecord>{{1, u"\t\n\r\b\f\x01\x1f\x7f"_s}};
    project.groups[0].name =
        QString::fromUtf8("\xF0\x9F\x8E\xAC") + QChar(0xd800) + u"x"_s + QChar(0xdfff);
    project.canvas.name = QString();
    project.groups[0].clips[1].transform = ClipTransform{0.25, -0.5, 2, 45, 0.5};
    project.groups[0].clips[1].pixelWidth = std::numeric_limits<qint64>::min();
    const QJsonObject object = QJsonDocument::fromJson(*project.encoded()).object();
    EXPECT_EQ(project.encoded()->toStdString(),
              QJsonDocument(object).toJson(QJsonDocument::Indented).toStdString());
    EXPECT_EQ(project.encoded(PlayoutProject::Encoding::compact)->toStdString(),
              QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString());

    // Each number as QJsonDocument writes a double of its own (a parse would turn some into
    // integers).
    const double numbers[] = {
        0.1,  -0.0,    1e21, 1e-7, 123456789.125, 100000, 1e15, 5e-324, 1.7976931348623157e308, 0.3,
        -2.5, 1.0 / 3, 1e-5, 7};
    for (const double number : numbers) {
        project.fadeDuration = number;
        const QByteArray alone =
            QJsonDocument(QJsonObject{{u"fadeDuration"_s, number}}).toJson(QJsonDocument::Compact);
        EXPECT_TRUE(project.encoded(PlayoutProject::Encoding::compact)
                        ->contains(alone.sliced(1, alone.size() - 2) + ','))
            << alone.toStdString();
    }
}

TEST(PlayoutProjectTest, SizeAndClipCountLimits) {
    TempFiles files;
    const QByteArray json = R"({"groups":[]})";
    const QByteArray sealed = ProjectCrypto::seal(json);
    // A file of exactly 16 MiB is read (and here fails as damaged: it is not a real container);
    // one byte more is refused as too large without being opened.
    const QByteArray exact = sealed + QByteArray(PlayoutProject::kMaxFileSize - sealed.size(), ' ');
    EXPECT_THROW(PlayoutProject::load(files.write(u"exact"_s, exact)), ProjectCrypto::Failure);
    EXPECT_EQ(loadFailure(files.write(u"over"_s, exact + "x")), LoadKind::tooLarge);
    EXPECT_THROW(PlayoutProject::load(files.dir.filePath(u"missing"_s)), PlayoutProject::ReadError);
    // A named pipe is refused at once: opening or reading it would wait for a writer for ever.
    // A child loads it, so that a hang ends as a failure.
    const QString pipe = files.dir.filePath(u"pipe.tavrendek"_s);
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const auto child = test::ChildProbe::within([&] {
        try {
            PlayoutProject::load(pipe);
        } catch (const PlayoutProject::ReadError&) {
            return QByteArray("refused");
        } catch (...) {
            return QByteArray("another failure");
        }
        return QByteArray("loaded");
    });
    ASSERT_TRUE(child.exited) << "hung on a pipe";
    EXPECT_EQ(child.output.toStdString(), "refused");
    EXPECT_THROW(PlayoutProject::load(files.dir.path()), PlayoutProject::ReadError);

    const PlayoutProject most = projectWithClips(2500, 4);
    EXPECT_EQ(PlayoutProject::load(files.write(u"ok"_s, most.sealedFileData())), most);
    const QString over =
        files.write(u"many"_s, ProjectCrypto::seal(*projectWithClips(3334, 3).encoded()));
    EXPECT_EQ(loadFailure(over), LoadKind::tooLarge);
    try {
        projectWithClips(10001, 1).sealedFileData();
        ADD_FAILURE();
    } catch (const PlayoutProject::SaveError& error) {
        EXPECT_EQ(error.kind(), PlayoutProject::SaveError::Kind::tooManyClips);
        EXPECT_TRUE(error.errorDescription().contains(u"10001"_s));
    }
}

TEST(PlayoutProjectTest, CanvasAndFrameRateLimits) {
    const std::tuple<int, int, int, int, bool> cases[] = {
        {4096, 2160, 24, 1, true}, {1, 1, 30000, 1001, true},  {4097, 1000, 24, 1, false},
        {0, 1080, 24, 1, false},   {1920, 2161, 24, 1, false}, {1920, 1080, 120, 2, false},
        {1920, 1080, 0, 0, false},
    };
    TempFiles files;
    for (const auto& [width, height, scale, duration, ok] : cases) {
        const QString json =
            uR"({"canvas":{"width":%1,"height":%2,"name":"x"},"frameRate":{"timeScale":%3,"frameDuration":%4}})"_s
                .arg(width)
                .arg(height)
                .arg(scale)
                .arg(duration);
        const QString path = files.write(u"p"_s, ProjectCrypto::seal(json.toUtf8()));
        EXPECT_EQ(loadFailure(path), ok ? std::nullopt : std::optional(LoadKind::invalidFormat))
            << json.toStdString();
    }
}

TEST(PlayoutProjectTest, DecodingRulesOfTheKeyTables) {
    const char* failing[] = {
        R"({"groups":[{"name":"A","selectedIndex":0,"clips":[{"path":"/a.png"}]}]})",
        R"({"groups":[{"name":"A","clips":[]}]})",  // no selectedIndex
        R"({"groups":[{"name":"A","selectedIndex":0,"clips":[],"markers":[{"position":1}]}]})",
        R"({"groups":[{"name":"A","selectedIndex":0,"clips":[{"path":"/a","displayName":"a","motion":"spin"}]}]})",
        R"({"groups":{}})",
        R"({"formatVersion":"10"})",
        R"({"autoAdvance":1})",
        R"({"dsk":{"paths":[1]}})",
        R"({"groups":[]} trailing)",
    };
    for (const char* json : failing)
        EXPECT_THROW(PlayoutProject::decode(json), JsonDecodingError) << json;

    // Unknown keys are ignored at every level; integral doubles are integers.
    const PlayoutProject p = PlayoutProject::decode(
        R"({"extra":1,"formatVersion":10.0,"groups":[{"name":"A","selectedIndex":1,"clips":[{"path":"/a","displayName":"a","x":[]}],"y":{}}]})");
    EXPECT_EQ(p.formatVersion, 10);
    EXPECT_FALSE(p.groups[0].markers.has_value());

    // The keyer: "path" only when "paths" is absent; loops default on.
    EXPECT_EQ(PlayoutProject::decode(R"({"dsk":{"path":"/k.png"}})").dsk,
              (DSKRecord{{u"/k.png"_s}, 0, true}));
    EXPECT_EQ(PlayoutProject::decode(R"({"dsk":{"paths":[],"path":"/k.png"}})").dsk,
              (DSKRecord{{}, 0, true}));
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
    QStringList names;
    for (const Marker& m : a.markers) names << m.name;
    EXPECT_EQ(names, (QStringList{u"Alpha"_s, u"Beta"_s, u"Gamma"_s, u"End"_s}));

    Clip c0 = a.clips[0];
    c0.id = {};
    EXPECT_EQ(c0, (Clip{.id = {},
                        .url = QUrl::fromLocalFile(present),
                        .displayName = u"kept"_s,
                        .kind = Clip::Kind::movie,
                        .loopCount = 0,
                        .contentAnchorY = -1.0,
                        .transform = ClipTransform{-2, 2, 0.05, 180, 0},
                        .motionDuration = 0.1}));
    Clip c1 = a.clips[1];
    c1.id = {};
    EXPECT_EQ(c1, (Clip{.id = {},
                        .url = QUrl::fromLocalFile(u"/gone/away.png"_s),
                        .displayName = u"moved"_s,
                        .pixelWidth = 16384,
                        .pixelHeight = 1,
                        .isMissing = true,
                        .loopCount = 10000,
                        .transform = ClipTransform{0.5, 0, 4096, -180, 1},
                        .motionDuration = 5.0}));
    EXPECT_EQ(a.clips[2].kind, Clip::Kind::still);

    // Records made in code may hold what JSON cannot: non-finite values are mended too.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    PlayoutProject::ClipRecord odd{.path = u"/x.png"_s,
                                   .motionDuration = nan,
                                   .transform = ClipTransform{nan, nan, nan, nan, nan},
                                   .contentAnchorX = nan};
    const Clip mended = PlayoutProject::makeClip(odd);
    EXPECT_FALSE(mended.motionDuration || mended.contentAnchorX);
    EXPECT_EQ(mended.transform, ClipTransform::identity());
}

}  // namespace
}  // namespace velmar
