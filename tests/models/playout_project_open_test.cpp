// Opening large projects: clips are read and made on several threads, file looks are shared by
// paths and folders, kinds are remembered by extension. The results and the errors must be the
// ones of reading everything in order, one look per clip.
#include "models/json_decoding.h"
#include "models/playout_project.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace velmar {
namespace {

using namespace Qt::Literals::StringLiterals;

// Groups of `perGroup` good clips (enough in all for the threaded path).
QJsonObject largeDocument(int groups = 3, int perGroup = 300) {
    QJsonArray groupArray;
    for (int g = 0; g < groups; ++g) {
        QJsonArray clips;
        for (int i = 0; i < perGroup; ++i) {
            clips.append(QJsonObject{{u"path"_s, u"/nowhere/%1/c%2.png"_s.arg(g).arg(i)},
                                     {u"displayName"_s, u"c%1"_s.arg(i)},
                                     {u"pixelWidth"_s, 1920}});
        }
        groupArray.append(QJsonObject{{u"name"_s, u"G%1"_s.arg(g)},
                                      {u"selectedIndex"_s, 0},
                                      {u"clips"_s, clips},
                                      {u"markers"_s, QJsonArray()}});
    }
    return QJsonObject{{u"groups"_s, groupArray}};
}

// Applies `edit` to clip `index` of group `group`, or to the group itself when index < 0.
void editAt(QJsonObject& document, int group, int index,
            const std::function<void(QJsonObject&)>& edit) {
    QJsonArray groups = document.value(u"groups"_s).toArray();
    QJsonObject g = groups.at(group).toObject();
    if (index < 0) {
        edit(g);
    } else {
        QJsonArray clips = g.value(u"clips"_s).toArray();
        QJsonObject clip = clips.at(index).toObject();
        edit(clip);
        clips.replace(index, clip);
        g.insert(u"clips"_s, clips);
    }
    groups.replace(group, g);
    document.insert(u"groups"_s, groups);
}

QString decodeError(const QJsonObject& document) {
    try {
        PlayoutProject::decode(QJsonDocument(document).toJson(QJsonDocument::Compact));
    } catch (const JsonDecodingError& error) {
        return error.message();
    }
    return {};
}

TEST(PlayoutProjectOpenTest, TheFirstFailingValueInDocumentOrderNamesTheError) {
    auto set = [](const char* key, QJsonValue value) {
        return [key, value](QJsonObject& o) { o.insert(QLatin1String(key), value); };
    };
    auto drop = [](const char* key) {
        return [key](QJsonObject& o) { o.remove(QLatin1String(key)); };
    };
    struct Edit {
        int group;
        int index;
        std::function<void(QJsonObject&)> edit;
    };
    struct Case {
        std::vector<Edit> edits;
        QString message;
    };
    const QString prefix = u"The data is not valid ("_s;
    const std::vector<Case> cases = {
        // Of two bad clips the earlier one speaks, whichever thread read it.
        {{{2, 10, set("pixelWidth", 1.5)}, {1, 290, set("path", 3)}},
         prefix + u"groups[1].clips[290].path): expected a string"_s},
        {{{0, 299, drop("displayName")}, {0, 5, set("loopCount", u"2"_s)}},
         prefix + u"groups[0].clips[5].loopCount): expected an integer"_s},
        // Within a clip, the decoding order of the keys (path before displayName, ...).
        {{{1, 7, set("contentAnchorY", true)}, {1, 7, set("displayName", QJsonValue::Null)}},
         prefix + u"groups[1].clips[7].displayName): required key is missing"_s},
        // A group's own keys come before its clips, its markers after them.
        {{{1, 100, drop("path")}, {1, -1, drop("name")}},
         prefix + u"groups[1].name): required key is missing"_s},
        {{{1, 100, drop("path")}, {1, -1, set("markers", QJsonArray{QJsonObject{}})}},
         prefix + u"groups[1].clips[100].path): required key is missing"_s},
        {{{0, -1, set("clips", QJsonArray{5})}, {0, -1, set("selectedIndex", 0.5)}},
         prefix + u"groups[0].selectedIndex): expected an integer"_s},
    };
    ASSERT_EQ(decodeError(largeDocument()), QString());
    for (const Case& c : cases) {
        QJsonObject document = largeDocument();
        for (const Edit& e : c.edits) editAt(document, e.group, e.index, e.edit);
        EXPECT_EQ(decodeError(document), c.message);
    }
}

TEST(PlayoutProjectOpenTest, UnusualButValidClipValuesReadAsWritten) {
    QJsonObject document = largeDocument(2, 300);
    editAt(document, 1, 250, [](QJsonObject& o) {
        o.insert(u"pixelWidth"_s, 640.0);
        o.insert(u"loopCount"_s, 9007199254740993LL);
        o.insert(u"motionDuration"_s, 1e-300);
        o.insert(u"transform"_s, QJsonObject{{u"offsetX"_s, 1},
                                             {u"offsetY"_s, -1e308},
                                             {u"scale"_s, 2},
                                             {u"rotation"_s, 0.5},
                                             {u"opacity"_s, 1},
                                             {u"zzz"_s, QJsonValue::Null}});
    });
    const PlayoutProject project =
        PlayoutProject::decode(QJsonDocument(document).toJson(QJsonDocument::Compact));
    const PlayoutProject::ClipRecord& clip = project.groups[1].clips.at(250);
    EXPECT_EQ(clip.path, u"/nowhere/1/c250.png"_s);
    EXPECT_EQ(clip.pixelWidth, 640);
    EXPECT_EQ(clip.loopCount, 9007199254740993LL);
    EXPECT_EQ(clip.motionDuration, 1e-300);
    EXPECT_EQ(clip.transform, (ClipTransform{1, -1e308, 2, 0.5, 1}));
    EXPECT_EQ(project.groups[0].clips.at(299).displayName, u"c299"_s);
}

// makeGroups() over many clips, each path repeated so that the threaded path and the shared
// looks are taken; every clip must say what a look of its own would have said.
void expectSameAsOneLookEach(const QStringList& paths) {
    PlayoutProject project;
    for (int g = 0; g < 2; ++g) {
        PlayoutProject::GroupRecord group;
        for (int copy = 0; copy < 300 / std::max<int>(1, static_cast<int>(paths.size())) + 1;
             ++copy) {
            for (const QString& path : paths)
                group.clips.append({.path = path, .displayName = u"x"_s});
        }
        project.groups.append(group);
    }
    ASSERT_GE(project.clipCount(), 512);
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
    for (const char* name : {"media/a.png", "media/b.MOV", "media/c", "media/.png",
                             "media/sub/d.tar.mxf", "media/e."}) {
        QFile file(root + u'/' + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QFile plain(root + u"/plain"_s);
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(root + u"/media"_s, root + u"/linked"_s));
    ASSERT_TRUE(QFile::link(root + u"/gone"_s, root + u"/dangling"_s));
    ASSERT_TRUE(QFile::link(root + u"/media/a.png"_s, root + u"/media/to-a.jpg"_s));
    ASSERT_TRUE(QFile::link(root + u"/media/none.png"_s, root + u"/media/to-none.png"_s));

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
