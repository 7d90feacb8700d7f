#include "core/media_access.h"

#include "support/event_loop.h"
#include "support/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

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

struct MediaAccessTest : ::testing::Test {
    QTemporaryDir dir;
    QString store = dir.filePath(u"MediaAccess.plist"_s);
    std::shared_ptr<FakeBookmarks> service = std::make_shared<FakeBookmarks>();
    std::shared_ptr<FakePanel> panel = std::make_shared<FakePanel>();
    std::unique_ptr<MediaAccess> access = make();
    std::optional<QStringList> rest;
    std::unique_ptr<MediaAccess> make(bool sandboxed = true) {
        auto made = std::make_unique<MediaAccess>(store, service, sandboxed);
        made->setFolderPanel(panel);
        return made;
    }
    void request(const QStringList& paths) {
        rest.reset();
        access->requestAccessIfNeeded(
            paths, [](qsizetype n) { return QString::number(n); },
            [this](QStringList r) { rest = r; });
        test::drainMainQueue();
    }
    QStringList asides() const {
        return QDir(dir.path())
            .entryList({u"MediaAccess-unreadable-*.plist"_s}, QDir::AllEntries | QDir::System);
    }
    static QByteArray readAll(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
};

TEST_F(MediaAccessTest, OutsideTheSandboxEverythingIsAtOnce) {
    access = make(false);
    access->remember({u"/media/a.mov"_s});
    EXPECT_FALSE(QFile::exists(store));
    EXPECT_TRUE(access->restoreAccess({u"/nowhere/x.mov"_s}).isEmpty());
    request({u"/nowhere/x.mov"_s});
    EXPECT_EQ(rest, QStringList());
    EXPECT_TRUE(panel->starts.isEmpty());
}

TEST_F(MediaAccessTest, FoldersReplaceTheItemsInsideThem) {
    access->remember({u"/media/show/a.mov"_s, u"/media/showreel"_s});
    access->remember({u"/media/show"_s});
    EXPECT_EQ(access->storedKeys(), (QStringList{u"/media/show"_s, u"/media/showreel"_s}));
    access->remember({u"/media/show/b/c.mov"_s, u"/media/show/../show/d.mov"_s});
    EXPECT_EQ(access->storedKeys().size(), 2);
    access->remember({u"/other/../media/x/./y.mov"_s, u"relative/z.mov"_s});
    EXPECT_EQ(access->storedKeys().size(), 3);
    EXPECT_TRUE(access->storedKeys().contains(u"/media/x/y.mov"_s));

    // The store survives into the next run.
    EXPECT_EQ(make()->storedKeys(), access->storedKeys());
}

TEST_F(MediaAccessTest, RestoresThroughCoveringBookmarks) {
    access->remember({u"/media/show"_s});
    const QStringList missing =
        access->restoreAccess({u"/media/show/a/b.mov"_s, u"/media/showreel/c.mov"_s,
                               u"/media/showreel/c.mov"_s, u"/media/show/../show/e.mov"_s});
    EXPECT_EQ(missing, QStringList{u"/media/showreel/c.mov"_s});
    EXPECT_EQ(service->started, std::set<QString>{u"/media/show"_s});

    // A stale bookmark of a moved folder: access opens where it is now and that place is stored.
    service->moved[u"/media/old"_s] = u"/archive/old"_s;
    access->remember({u"/media/old"_s});
    EXPECT_TRUE(access->restoreAccess({u"/media/old/x.mov"_s}).isEmpty());
    EXPECT_TRUE(service->started.count(u"/archive/old"_s));
    EXPECT_TRUE(access->storedKeys().contains(u"/archive/old"_s));
}

TEST_F(MediaAccessTest, PanelsFollowTheMostCommonFolderUntilNothingHelps) {
    std::vector<bool> panelOpen;
    access->setFilePanelOpenHandler([&](bool open) { panelOpen.push_back(open); });
    QStringList paths;
    for (int i = 0; i < 7; ++i) paths << u"/big/clip%1.mov"_s.arg(i);
    for (int i = 0; i < 3; ++i) paths << u"/small/clip%1.mov"_s.arg(i);
    EXPECT_FALSE(MediaAccess::mostCommonFolder({}).has_value());

    panel->answers = {u"/big"_s, u"/small"_s};
    request(paths);
    EXPECT_EQ(rest, QStringList());
    EXPECT_EQ(panel->starts, (QStringList{u"/big"_s, u"/small"_s}));
    EXPECT_EQ(panel->messages, (QStringList{u"10"_s, u"3"_s}));
    EXPECT_EQ(panelOpen, (std::vector<bool>{true, false, true, false}));

    // A folder that helps nothing ends with the same paths; cancelling gives the paths as well.
    for (const std::optional<QString>& answer :
         {std::optional<QString>(u"/elsewhere"_s), std::optional<QString>()}) {
        panel->answers = {answer};
        request({u"/x/1.mov"_s, u"/y/2.mov"_s});
        EXPECT_EQ(rest, (QStringList{u"/x/1.mov"_s, u"/y/2.mov"_s}));
    }
}

// A store that cannot be read starts empty and is moved aside, whole, before the new one is
// written.
TEST_F(MediaAccessTest, DamagedStoreStartsEmptyAndIsKeptAsideBeforeTheNewOne) {
    QFile file(store);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("\x00garbage{", 9) == 9);
    file.close();
    access = make();
    EXPECT_TRUE(access->storedKeys().isEmpty());
    access->remember({u"/media/a.mov"_s});
    EXPECT_EQ(make()->storedKeys(), QStringList{u"/media/a.mov"_s});
    ASSERT_EQ(asides().size(), 1);
    EXPECT_EQ(readAll(dir.filePath(asides()[0])), QByteArray("\x00garbage{", 9));
    access->remember({u"/media/b.mov"_s});  // the new store is ours: written over, no new copy
    EXPECT_EQ(asides().size(), 1);
}

// Another process plants a link to a file of its choice, or a pipe, at the store's name: the link
// is neither read nor written through, and the pipe does not stall the caller.
TEST_F(MediaAccessTest, ALinkOrPipePlantedAtTheStoreIsSetAsideNotFollowed) {
    const QString outside = dir.filePath(u"outside.json"_s);
    const QByteArray planted = R"({"/media/planted":"YQ=="})";
    QFile out(outside);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(planted) == planted.size());
    out.close();
    ASSERT_TRUE(QFile::link(outside, store));
    access = make();
    EXPECT_TRUE(access->storedKeys().isEmpty());
    access->remember({u"/media/a.mov"_s});
    EXPECT_EQ(readAll(outside), planted);
    EXPECT_FALSE(QFileInfo(store).isSymLink());
    EXPECT_EQ(make()->storedKeys(), QStringList{u"/media/a.mov"_s});
    ASSERT_EQ(asides().size(), 1);
    EXPECT_TRUE(QFileInfo(dir.filePath(asides()[0])).isSymLink());

    ASSERT_TRUE(QFile::remove(store));
    ASSERT_EQ(::mkfifo(QFile::encodeName(store).constData(), 0600), 0);
    access = make();
    EXPECT_TRUE(access->storedKeys().isEmpty());
    access->remember({u"/media/b.mov"_s});
    EXPECT_EQ(make()->storedKeys(), QStringList{u"/media/b.mov"_s});
    EXPECT_EQ(asides().size(), 2);
}

}  // namespace
}  // namespace velmar
