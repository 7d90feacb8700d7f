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

// Groups of `perGroup` good clips (enough in all for the threaded path).
QJsonObject largeDocument(int groups = 3, int perGroup = 300) {
    QJsonArray groupArray;
    for (int g = 0; g < groups; ++g) {
        QJsonArray clips;
        for (int i = 0; i < perGroup; ++i) {
            clips.append(QJsonObject{{QStringLiteral("path"), QStringLiteral("/nowhere/%1/c%2.png").arg(g).arg(i)},
                                     {QStringLiteral("displayName"), QStringLiteral("c%1").arg(i)},
                                     {QStringLiteral("pixelWidth"), 1920}});
        }
        groupArray.append(QJsonObject{{QStringLiteral("name"), QStringLiteral("G%1").arg(g)},
                                      {QStringLiteral("selectedIndex"), 0},
                                      {QStringLiteral("clips"), clips},
                                      {QStringLiteral("markers"), QJsonArray()}});
    }
    return QJsonObject{{QStringLiteral("groups"), groupArray}};
}

// Applies `edit` to clip `index` of group `group`, or to the group itself when index < 0.
void editAt(QJsonObject& document, int group, int index, const std::function<void(QJsonObject&)>& edit) {
    QJsonArray groups = document.value(QStringLiteral("groups")).toArray();
    QJsonObject g = groups.at(group).toObject();
    if (index < 0) {
        edit(g);
    } else {
        QJsonArray clips = g.value(QStringLiteral("clips")).toArray();
        QJsonObject clip = clips.at(index).toObject();
        edit(clip);
        clips.replace(index, clip);
        g.insert(QStringLiteral("clips"), clips);
    }
    groups.replace(group, g);
    document.insert(QStringLiteral("groups"), groups);
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
    auto drop = [](const char* key) { return [key](QJsonObject& o) { o.remove(QLatin1String(key)); }; };
    struct Edit {
        int group;
        int index;
        std::function<void(QJsonObject&)> edit;
    };
    struct Case {
        std::vector<Edit> edits;
        QString message;
    };
    const QString prefix = QStringLiteral("The data is not valid (");
    const std::vector<Case> cases = {
        // Of two bad clips the earlier one speaks, whichever thread read it.
        {{{2, 10, set("pixelWidth", 1.5)}, {1, 290, set("path", 3)}},
         prefix + QStringLiteral("groups[1].clips[290].path): expected a string")},
        {{{0, 299, drop("displayName")}, {0, 5, set("loopCount", QStringLiteral("2"))}},
         prefix + QStringLiteral("groups[0].clips[5].loopCount): expected an integer")},
        // Within a clip, the decoding order of the keys (path before displayName, ...).
        {{{1, 7, set("contentAnchorY", true)}, {1, 7, set("displayName", QJsonValue::Null)}},
         prefix + QStringLiteral("groups[1].clips[7].displayName): required key is missing")},
        {{{0, 0, set("transform", 1)}}, QStringLiteral("transform: expected an object, found a number")},
        {{{0, 0, set("transform", QJsonObject{{QStringLiteral("offsetX"), 0}})}}, QStringLiteral("missing key \"offsetY\"")},
        {{{2, 3, set("motion", QStringLiteral("spin"))}}, QStringLiteral("unknown motion \"spin\"")},
        {{{2, 3, set("motionDuration", QJsonArray())}}, prefix + QStringLiteral("groups[2].clips[3].motionDuration): expected a number")},
        // A group's own keys come before its clips, its markers after them.
        {{{1, 100, drop("path")}, {1, -1, drop("name")}}, prefix + QStringLiteral("groups[1].name): required key is missing")},
        {{{1, 100, drop("path")}, {1, -1, set("markers", QJsonArray{QJsonObject{}})}},
         prefix + QStringLiteral("groups[1].clips[100].path): required key is missing")},
        {{{2, -1, set("markers", QJsonArray{1})}, {1, 299, set("pixelHeight", QStringLiteral("x"))}},
         prefix + QStringLiteral("groups[1].clips[299].pixelHeight): expected an integer")},
        {{{1, -1, set("markers", QJsonArray{QJsonObject{{QStringLiteral("position"), 0}}})}, {2, 0, drop("path")}},
         prefix + QStringLiteral("groups[1].markers[0].name): required key is missing")},
        {{{0, -1, set("clips", QJsonArray{QJsonObject{}, 5})}}, prefix + QStringLiteral("groups[0].clips[0].path): required key is missing")},
        {{{0, -1, set("clips", QJsonArray{5})}, {0, -1, set("selectedIndex", 0.5)}},
         prefix + QStringLiteral("groups[0].selectedIndex): expected an integer")},
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
        o.insert(QStringLiteral("pixelWidth"), 640.0);
        o.insert(QStringLiteral("pixelHeight"), QJsonValue::Null);
        o.insert(QStringLiteral("loopCount"), 9007199254740993LL);
        o.insert(QStringLiteral("motion"), QJsonValue::Null);
        o.insert(QStringLiteral("motionDuration"), 1e-300);
        o.insert(QStringLiteral("contentAnchorX"), -0.0);
        o.insert(QStringLiteral("extra"), QJsonArray{1, QJsonObject{}});
        o.insert(QStringLiteral("transform"),
                 QJsonObject{{QStringLiteral("offsetX"), 1}, {QStringLiteral("offsetY"), -1e308}, {QStringLiteral("scale"), 2},
                             {QStringLiteral("rotation"), 0.5}, {QStringLiteral("opacity"), 1}, {QStringLiteral("zzz"), QJsonValue::Null}});
    });
    editAt(document, 0, 0, [](QJsonObject& o) {
        o.insert(QStringLiteral("motion"), QStringLiteral("rotate"));
        o.insert(QStringLiteral("transform"), QJsonValue::Null);
    });
    const PlayoutProject project = PlayoutProject::decode(QJsonDocument(document).toJson(QJsonDocument::Compact));
    ASSERT_EQ(project.groups.size(), 2);
    ASSERT_EQ(project.groups[1].clips.size(), 300);
    const PlayoutProject::ClipRecord& clip = project.groups[1].clips[250];
    EXPECT_EQ(clip.path, QStringLiteral("/nowhere/1/c250.png"));
    EXPECT_EQ(clip.pixelWidth, 640);
    EXPECT_FALSE(clip.pixelHeight.has_value());
    EXPECT_EQ(clip.loopCount, 9007199254740993LL);
    EXPECT_FALSE(clip.motion.has_value());
    EXPECT_EQ(clip.motionDuration, 1e-300);
    EXPECT_EQ(clip.contentAnchorX, 0.0);
    EXPECT_FALSE(clip.contentAnchorY.has_value());
    EXPECT_EQ(clip.transform, (ClipTransform{1, -1e308, 2, 0.5, 1}));
    EXPECT_EQ(project.groups[0].clips[0].motion, MotionKind::rotate);
    EXPECT_FALSE(project.groups[0].clips[0].transform.has_value());
    EXPECT_EQ(project.groups[0].clips[299].displayName, QStringLiteral("c299"));
    EXPECT_EQ(project.groups[1].markers, QList<PlayoutProject::MarkerRecord>());
}

// makeGroups() over many clips, each path repeated so that the threaded path and the shared
// looks are taken; every clip must say what a look of its own would have said.
void expectSameAsOneLookEach(const QStringList& paths) {
    PlayoutProject project;
    for (int g = 0; g < 2; ++g) {
        PlayoutProject::GroupRecord group;
        for (int copy = 0; copy < 300 / std::max<int>(1, static_cast<int>(paths.size())) + 1; ++copy) {
            for (const QString& path : paths) group.clips.append({.path = path, .displayName = QStringLiteral("x")});
        }
        project.groups.append(group);
    }
    ASSERT_GE(project.clipCount(), 512);
    const QList<ClipGroup> groups = project.makeGroups();
    for (int g = 0; g < groups.size(); ++g) {
        for (int i = 0; i < groups[g].clips.size(); ++i) {
            const QString& path = project.groups[g].clips[i].path;
            const Clip& clip = groups[g].clips[i];
            EXPECT_EQ(clip.isMissing, path.isEmpty() || !QFileInfo::exists(path)) << path.toStdString();
            EXPECT_EQ(clip.kind, Clip::kindFor(path).value_or(Clip::Kind::still)) << path.toStdString();
        }
    }
}

TEST(PlayoutProjectOpenTest, MissingFlagsAndKindsMatchALookAtEachFile) {
    QTemporaryDir dir;
    const QString root = dir.path();
    ASSERT_TRUE(QDir(root).mkpath(QStringLiteral("media/sub")));
    for (const char* name : {"media/a.png", "media/b.MOV", "media/c", "media/.png", "media/sub/d.tar.mxf", "media/e."}) {
        QFile file(root + u'/' + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    QFile plain(root + QStringLiteral("/plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/media"), root + QStringLiteral("/linked")));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/gone"), root + QStringLiteral("/dangling")));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/media/a.png"), root + QStringLiteral("/media/to-a.jpg")));
    ASSERT_TRUE(QFile::link(root + QStringLiteral("/media/none.png"), root + QStringLiteral("/media/to-none.png")));

    QStringList paths;
    // Present and missing files side by side in one folder (the first one looked at missing).
    for (const char* name : {"/media/zz-missing.png", "/media/a.png", "/media/b.MOV", "/media/c", "/media/.png",
                             "/media/e.", "/media/to-a.jpg", "/media/to-none.png", "/media/sub/d.tar.mxf",
                             "/media/sub/../a.png", "/media/sub/../nothing.png", "/media/a.png/", "/media//a.png"}) {
        paths << root + QLatin1String(name);
    }
    // Folders that cannot be found, for different reasons, with files of the same names.
    for (const char* folder : {"/absent", "/plain", "/dangling", "/absent/../media", "/linked"}) {
        for (const char* name : {"/a.png", "/b.MOV", "/x.mov"}) paths << root + QLatin1String(folder) + QLatin1String(name);
    }
    paths << QString() << QStringLiteral("relative/a.png") << QStringLiteral("/") << QStringLiteral("/a.png")
          << QStringLiteral(":/resource.png") << QStringLiteral(":/x.png/.") << root;
    expectSameAsOneLookEach(paths);
    // Only files of a folder that does not exist, in a different order.
    QStringList gone;
    for (int i = 0; i < 5; ++i) gone << root + QStringLiteral("/absent/f%1.png").arg(i) << root + QStringLiteral("/media/a.png");
    expectSameAsOneLookEach(gone);
}

}  // namespace
}  // namespace velmar
