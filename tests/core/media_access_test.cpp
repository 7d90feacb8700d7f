#include "core/media_access.h"

#include "support/event_loop.h"
#include "support/qt_printers.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>

namespace velmar {
namespace {

// Bookmarks are "bm:" + path; access opens once started; a path is readable when a started
// folder (or file) covers it. `moved` makes a bookmark resolve elsewhere, as stale.
class FakeBookmarks final : public MediaAccess::BookmarkService {
public:
    std::optional<QByteArray> makeBookmark(const QString& path) override {
        ++made;
        return QByteArray("bm:") + path.toUtf8();
    }
    std::optional<Resolved> resolve(const QByteArray& bookmark) override {
        const QString path = QString::fromUtf8(bookmark.mid(3));
        if (moved.count(path)) return Resolved{moved.at(path), true};
        return Resolved{path, false};
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
    int made = 0;
};

// Answers each panel with the next scripted choice; records where each panel started.
class FakePanel final : public MediaAccess::FolderPanel {
public:
    void chooseFolder(const QString& prompt, const QString& message, const QString& startFolder,
                      std::function<void(std::optional<QString>)> done) override {
        prompts << prompt;
        messages << message;
        starts << startFolder;
        std::optional<QString> answer;
        if (!answers.empty()) {
            answer = answers.front();
            answers.erase(answers.begin());
        }
        done(answer);
    }
    std::vector<std::optional<QString>> answers;
    QStringList prompts, messages, starts;
};

struct Fixture {
    QTemporaryDir dir;
    QString store = dir.filePath(QStringLiteral("MediaAccess.plist"));
    std::shared_ptr<FakeBookmarks> service = std::make_shared<FakeBookmarks>();
    std::unique_ptr<MediaAccess> make(bool sandboxed = true) {
        return std::make_unique<MediaAccess>(store, service, sandboxed);
    }
};

TEST(MediaAccessTest, OutsideTheSandboxEverythingIsAtOnce) {
    Fixture f;
    auto access = f.make(false);
    access->remember({QStringLiteral("/media/a.mov")});
    EXPECT_TRUE(access->storedKeys().isEmpty());
    EXPECT_FALSE(QFile::exists(f.store));
    EXPECT_TRUE(access->restoreAccess({QStringLiteral("/nowhere/x.mov")}).isEmpty());
    auto panel = std::make_shared<FakePanel>();
    access->setFolderPanel(panel);
    std::optional<QStringList> rest;
    access->requestAccessIfNeeded(
        {QStringLiteral("/nowhere/x.mov")}, [](qsizetype) { return QString(); }, [&](QStringList r) { rest = r; });
    EXPECT_EQ(rest, QStringList());  // at once, with nothing left
    EXPECT_TRUE(panel->starts.isEmpty());
    EXPECT_FALSE(MediaAccess::isSandboxed());
}

TEST(MediaAccessTest, FoldersReplaceTheItemsInsideThem) {
    Fixture f;
    auto access = f.make();
    access->remember({QStringLiteral("/media/show/a.mov"), QStringLiteral("/media/showreel")});
    access->remember({QStringLiteral("/media/show")});
    EXPECT_EQ(access->storedKeys(), (QStringList{QStringLiteral("/media/show"), QStringLiteral("/media/showreel")}));
    access->remember({QStringLiteral("/media/show/b/c.mov"), QStringLiteral("/media/show/../show/d.mov")});
    EXPECT_EQ(access->storedKeys().size(), 2);
    access->remember({QStringLiteral("/other/../media/x/./y.mov"), QStringLiteral("relative/z.mov")});
    EXPECT_EQ(access->storedKeys().size(), 3);
    EXPECT_TRUE(access->storedKeys().contains(QStringLiteral("/media/x/y.mov")));

    // The store survives into the next run.
    auto next = f.make();
    EXPECT_EQ(next->storedKeys(), access->storedKeys());
}

TEST(MediaAccessTest, RestoresThroughCoveringBookmarks) {
    Fixture f;
    auto access = f.make();
    access->remember({QStringLiteral("/media/show")});
    const QStringList missing = access->restoreAccess(
        {QStringLiteral("/media/show/a/b.mov"), QStringLiteral("/media/showreel/c.mov"),
         QStringLiteral("/media/showreel/c.mov"), QStringLiteral("/media/show/../show/e.mov")});
    EXPECT_EQ(missing, QStringList{QStringLiteral("/media/showreel/c.mov")});
    EXPECT_EQ(f.service->started, std::set<QString>{QStringLiteral("/media/show")});

    // A stale bookmark of a moved folder: access opens where it is now and that place is stored.
    f.service->moved[QStringLiteral("/media/old")] = QStringLiteral("/archive/old");
    access->remember({QStringLiteral("/media/old")});
    EXPECT_TRUE(access->restoreAccess({QStringLiteral("/media/old/x.mov")}).isEmpty());
    EXPECT_TRUE(f.service->started.count(QStringLiteral("/archive/old")));
    EXPECT_TRUE(access->storedKeys().contains(QStringLiteral("/archive/old")));
}

TEST(MediaAccessTest, PanelsFollowTheMostCommonFolderUntilNothingHelps) {
    Fixture f;
    auto access = f.make();
    auto panel = std::make_shared<FakePanel>();
    access->setFolderPanel(panel);
    std::vector<bool> panelOpen;
    access->setFilePanelOpenHandler([&](bool open) { panelOpen.push_back(open); });
    QStringList paths;
    for (int i = 0; i < 7; ++i) paths << QStringLiteral("/big/clip%1.mov").arg(i);
    for (int i = 0; i < 3; ++i) paths << QStringLiteral("/small/clip%1.mov").arg(i);
    EXPECT_EQ(MediaAccess::mostCommonFolder(paths), QStringLiteral("/big"));
    EXPECT_FALSE(MediaAccess::mostCommonFolder({}).has_value());

    panel->answers = {QStringLiteral("/big"), QStringLiteral("/small")};
    std::optional<QStringList> result;
    access->requestAccessIfNeeded(
        paths, [](qsizetype n) { return QString::number(n); }, [&](QStringList rest) { result = rest; });
    test::waitUntil([&] { return result.has_value(); }, 2.0);
    EXPECT_EQ(result, QStringList());
    EXPECT_EQ(panel->starts, (QStringList{QStringLiteral("/big"), QStringLiteral("/small")}));
    EXPECT_EQ(panel->messages, (QStringList{QStringLiteral("10"), QStringLiteral("3")}));
    EXPECT_EQ(panelOpen, (std::vector<bool>{true, false, true, false}));

    // A folder that helps nothing ends with the same paths; cancelling gives the paths as well.
    for (const std::optional<QString>& answer : {std::optional<QString>(QStringLiteral("/elsewhere")),
                                                 std::optional<QString>()}) {
        panel->answers = {answer};
        result.reset();
        const QStringList others{QStringLiteral("/x/1.mov"), QStringLiteral("/y/2.mov")};
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
    access->remember({QStringLiteral("/media/a.mov")});
    EXPECT_EQ(f.make()->storedKeys(), QStringList{QStringLiteral("/media/a.mov")});
}

}  // namespace
}  // namespace velmar
