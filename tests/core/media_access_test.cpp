#include "core/media_access.h"

#include "support/event_loop.h"
#include "support/qt_printers.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>

namespace velmar {
namespace {

using namespace Qt::Literals::StringLiterals;

// Bookmarks are "bm:" + path; access opens once started; a path is readable when a started
// folder (or file) covers it. `moved` makes a bookmark resolve elsewhere, as stale.
class FakeBookmarks final : public MediaAccess::BookmarkService {
  public:
    std::optional<QByteArray> makeBookmark(const QString& path) override {
        return QByteArray("bm:") + path.toUtf8();
    }
    std::optional<Resolved> resolve(const QByteArray& bookmark) override {
        const QString path = QString::fromUtf8(bookmark.mid(3));
        return moved.count(path) ? Resolved{moved.at(path), true} : Resolved{path, false};
    }
    bool startAccess(const QString& path) override {
        started.insert(path);
        return true;
    }
    bool isReadable(const QString& path) override {
        for (const QString& open : started) {
            if (path == open || path.startsWith(open + u'/')) return true;
        }
        return false;
    }
    std::set<QString> started;
    std::map<QString, QString> moved;
};

// Answers each panel with the next scripted choice; records where each panel started.
class FakePanel final : public MediaAccess::FolderPanel {
  public:
    void chooseFolder(const QString&, const QString& message, const QString& startFolder,
                      std::function<void(std::optional<QString>)> done) override {
        messages << message;
        starts << startFolder;
        done(answers.isEmpty() ? std::nullopt : answers.takeFirst());
    }
    QList<std::optional<QString>> answers;
    QStringList messages, starts;
};

struct Fixture {
    QTemporaryDir dir;
    QString store = dir.filePath(u"MediaAccess.plist"_s);
    std::shared_ptr<FakeBookmarks> service = std::make_shared<FakeBookmarks>();
    std::unique_ptr<MediaAccess> make(bool sandboxed = true) {
        return std::make_unique<MediaAccess>(store, service, sandboxed);
    }
};

TEST(MediaAccessTest, OutsideTheSandboxEverythingIsAtOnce) {
    Fixture f;
    auto access = f.make(false);
    access->remember({u"/media/a.mov"_s});
    EXPECT_TRUE(access->storedKeys().isEmpty());
    EXPECT_FALSE(QFile::exists(f.store));
    EXPECT_TRUE(access->restoreAccess({u"/nowhere/x.mov"_s}).isEmpty());
    auto panel = std::make_shared<FakePanel>();
    access->setFolderPanel(panel);
    std::optional<QStringList> rest;
    access->requestAccessIfNeeded(
        {u"/nowhere/x.mov"_s}, [](qsizetype) { return QString(); },
        [&](QStringList r) { rest = r; });
    EXPECT_EQ(rest, QStringList());  // at once, with nothing left
    EXPECT_TRUE(panel->starts.isEmpty());
    EXPECT_FALSE(MediaAccess::isSandboxed());
}

TEST(MediaAccessTest, FoldersReplaceTheItemsInsideThem) {
    Fixture f;
    auto access = f.make();
    access->remember({u"/media/show/a.mov"_s, u"/media/showreel"_s});
    access->remember({u"/media/show"_s});
    EXPECT_EQ(access->storedKeys(), (QStringList{u"/media/show"_s, u"/media/showreel"_s}));
    access->remember({u"/media/show/b/c.mov"_s, u"/media/show/../show/d.mov"_s});
    EXPECT_EQ(access->storedKeys().size(), 2);
    access->remember({u"/other/../media/x/./y.mov"_s, u"relative/z.mov"_s});
    EXPECT_EQ(access->storedKeys().size(), 3);
    EXPECT_TRUE(access->storedKeys().contains(u"/media/x/y.mov"_s));

    // The store survives into the next run.
    auto next = f.make();
    EXPECT_EQ(next->storedKeys(), access->storedKeys());
}

TEST(MediaAccessTest, RestoresThroughCoveringBookmarks) {
    Fixture f;
    auto access = f.make();
    access->remember({u"/media/show"_s});
    const QStringList missing =
        access->restoreAccess({u"/media/show/a/b.mov"_s, u"/media/showreel/c.mov"_s,
                               u"/media/showreel/c.mov"_s, u"/media/show/../show/e.mov"_s});
    EXPECT_EQ(missing, QStringList{u"/media/showreel/c.mov"_s});
    EXPECT_EQ(f.service->started, std::set<QString>{u"/media/show"_s});

    // A stale bookmark of a moved folder: access opens where it is now and that place is stored.
    f.service->moved[u"/media/old"_s] = u"/archive/old"_s;
    access->remember({u"/media/old"_s});
    EXPECT_TRUE(access->restoreAccess({u"/media/old/x.mov"_s}).isEmpty());
    EXPECT_TRUE(f.service->started.count(u"/archive/old"_s));
    EXPECT_TRUE(access->storedKeys().contains(u"/archive/old"_s));
}

TEST(MediaAccessTest, PanelsFollowTheMostCommonFolderUntilNothingHelps) {
    Fixture f;
    auto access = f.make();
    auto panel = std::make_shared<FakePanel>();
    access->setFolderPanel(panel);
    std::vector<bool> panelOpen;
    access->setFilePanelOpenHandler([&](bool open) { panelOpen.push_back(open); });
    QStringList paths;
    for (int i = 0; i < 7; ++i) paths << u"/big/clip%1.mov"_s.arg(i);
    for (int i = 0; i < 3; ++i) paths << u"/small/clip%1.mov"_s.arg(i);
    EXPECT_EQ(MediaAccess::mostCommonFolder(paths), u"/big"_s);
    EXPECT_FALSE(MediaAccess::mostCommonFolder({}).has_value());

    panel->answers = {u"/big"_s, u"/small"_s};
    std::optional<QStringList> result;
    access->requestAccessIfNeeded(
        paths, [](qsizetype n) { return QString::number(n); },
        [&](QStringList rest) { result = rest; });
    test::drainMainQueue();
    EXPECT_EQ(result, QStringList());
    EXPECT_EQ(panel->starts, (QStringList{u"/big"_s, u"/small"_s}));
    EXPECT_EQ(panel->messages, (QStringList{u"10"_s, u"3"_s}));
    EXPECT_EQ(panelOpen, (std::vector<bool>{true, false, true, false}));

    // A folder that helps nothing ends with the same paths; cancelling gives the paths as well.
    for (const std::optional<QString>& answer :
         {std::optional<QString>(u"/elsewhere"_s), std::optional<QString>()}) {
        panel->answers = {answer};
        result.reset();
        const QStringList others{u"/x/1.mov"_s, u"/y/2.mov"_s};
        access->requestAccessIfNeeded(
            others, [](qsizetype) { return QString(); }, [&](QStringList rest) { result = rest; });
        test::drainMainQueue();
        EXPECT_EQ(result, others);
    }
}

TEST(MediaAccessTest, DamagedStoreStartsEmptyAndIsOverwritten) {
    Fixture f;
    QFile file(f.store);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\x00garbage{", 9);
    file.close();
    auto access = f.make();
    EXPECT_TRUE(access->storedKeys().isEmpty());
    access->remember({u"/media/a.mov"_s});
    EXPECT_EQ(f.make()->storedKeys(), QStringList{u"/media/a.mov"_s});
}

}  // namespace
}  // namespace velmar
