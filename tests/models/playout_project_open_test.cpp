// Opening projects: clips are first read quickly (on several threads when there are many), file
// looks are shared by paths and folders, kinds are remembered by extension. The results and the
// errors must be the ones of reading everything in order, one look per clip.
#include "models/json_decoding.h"
#include "models/playout_project.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmar {
namespace {

using namespace Qt::Literals::StringLiterals;

TEST(PlayoutProjectOpenTest, TheFirstFailingValueInDocumentOrderNamesTheError) {
    const char* ok = R"({"path":"/a","displayName":"a"})";
    auto doc = [&](const char* g0, const char* g1) {
        return QByteArray(R"({"groups":[{"name":"A","selectedIndex":0,"clips":[)") + ok + "," + g0 +
               R"(]},{"name":"B","selectedIndex":0,)" + g1 + "}]}";
    };
    const std::pair<QByteArray, const char*> cases[] = {
        {doc(R"({"path":"/b","displayName":"b","loopCount":"2"})",
             R"("clips":[{"path":3,"displayName":"c"}])"),
         "groups[0].clips[1].loopCount): expected an integer"},
        {doc(R"({"path":"/b","displayName":null,"contentAnchorY":true})", R"("clips":[])"),
         "groups[0].clips[1].displayName): required key is missing"},
        {doc(ok, R"("clips":[{"path":"/b"}],"name":null)"),
         "groups[1].name): required key is missing"},
        {doc(R"({"path":"/b","displayName":"b","pixelWidth":1.5})", R"("clips":[],"name":null)"),
         "groups[0].clips[1].pixelWidth): expected an integer"},
        {doc(ok, R"("clips":[{"path":"/b","displayName":"b"},{"path":3,"displayName":"c"}])"),
         "groups[1].clips[1].path): expected a string"},
        {doc(ok, R"("clips":[{"displayName":"b"}],"markers":[{}])"),
         "groups[1].clips[0].path): required key is missing"},
        {doc(ok, R"("clips":[5],"selectedIndex":0.5)"),
         "groups[1].selectedIndex): expected an integer"},
        {doc(R"({"path":"/b","displayName":"b","transform":{"offsetX":0,"offsetY":0,"scale":1,"rotation":0}})",
             R"("clips":[])"),
         "missing key \"opacity\""},
    };
    for (const auto& [json, message] : cases) {
        try {
            PlayoutProject::decode(json);
            ADD_FAILURE() << json.constData();
        } catch (const JsonDecodingError& error) {
            EXPECT_TRUE(error.message().endsWith(QLatin1String(message)))
                << error.message().toStdString();
        }
    }
}

TEST(PlayoutProjectOpenTest, UnusualButValidClipValuesReadAsWritten) {
    const PlayoutProject project = PlayoutProject::decode(
        R"({"groups":[{"name":"A","selectedIndex":0,"clips":[{"path":"/a","displayName":"a",)"
        R"("pixelWidth":640.0,"loopCount":9007199254740993,"motionDuration":1e-300,"transform":)"
        R"({"offsetX":1,"offsetY":-1e308,"scale":2,"rotation":0.5,"opacity":1,"zzz":null}}]}]})");
    PlayoutProject::ClipRecord expected{.path = u"/a"_s, .displayName = u"a"_s};
    expected.pixelWidth = 640;
    expected.loopCount = 9007199254740993LL;
    expected.motionDuration = 1e-300;
    expected.transform = ClipTransform{1, -1e308, 2, 0.5, 1};
    EXPECT_EQ(project.groups.at(0).clips.at(0), expected);
}

// makeGroups() over many clips, each path repeated so that the threaded path and the shared
// looks are taken; every clip must say what a look of its own would have said.
void expectSameAsOneLookEach(const QStringList& paths) {
    PlayoutProject project;
    project.groups.resize(2);
    for (auto& group : project.groups) {
        while (group.clips.size() < 300)
            for (const QString& path : paths) group.clips.append({.path = path});
    }
    const QList<ClipGroup> groups = project.makeGroups();
    for (int g = 0; g < groups.size(); ++g) {
        for (int i = 0; i < groups[g].clips.size(); ++i) {
            const QString& path = project.groups[g].clips[i].path;
            const Clip& clip = groups[g].clips[i];
            EXPECT_EQ(clip.isMissing, path.isEmpty() || !QFileInfo::exists(path))
                << path.toStdString();
            EXPECT_EQ(clip.kind, Clip::kindFor(path).value_or(Clip::Kind::still))
                << path.toStdString();
        }
    }
}

TEST(PlayoutProjectOpenTest, MissingFlagsAndKindsMatchALookAtEachFile) {
    QTemporaryDir dir;
    const QString root = dir.path();
    ASSERT_TRUE(QDir(root).mkpath(u"media/sub"_s));
    for (const char* name : {"/media/a.png", "/media/b.MOV", "/media/c", "/media/.png",
                             "/media/sub/d.tar.mxf", "/media/e.", "/plain"}) {
        ASSERT_TRUE(QFile(root + QLatin1String(name)).open(QIODevice::WriteOnly));
    }
    for (const char* link : {"media:linked", "gone:dangling", "media/a.png:media/to-a.jpg",
                             "media/none.png:media/to-none.png"}) {
        const QStringList ends = QString::fromLatin1(link).split(u':');
        ASSERT_TRUE(QFile::link(root + u'/' + ends[0], root + u'/' + ends[1]));
    }
    QStringList paths;
    // Present and missing files side by side in one folder (the first one looked at missing).
    for (const char* name :
         {"/media/zz-missing.png", "/media/a.png", "/media/b.MOV", "/media/c", "/media/.png",
          "/media/e.", "/media/to-a.jpg", "/media/to-none.png", "/media/sub/d.tar.mxf",
          "/media/sub/../a.png", "/media/sub/../nothing.png", "/media/a.png/", "/media//a.png"}) {
        paths << root + QLatin1String(name);
    }
    // Folders that cannot be found, for different reasons, with files of the same names.
    for (const char* folder : {"/absent", "/plain", "/dangling", "/absent/../media", "/linked"}) {
        for (const char* name : {"/a.png", "/b.MOV", "/x.mov"})
            paths << root + QLatin1String(folder) + QLatin1String(name);
    }
    paths << QString() << u"relative/a.png"_s << u"/"_s << u"/a.png"_s << u":/resource.png"_s
          << u":/x.png/."_s << root;
    expectSameAsOneLookEach(paths);
    // Only files of a folder that does not exist, in a different order.
    QStringList gone;
    for (int i = 0; i < 5; ++i)
        gone << root + u"/absent/f%1.png"_s.arg(i) << root + u"/media/a.png"_s;
    expectSameAsOneLookEach(gone);
}

}  // namespace
}  // namespace velmar
