#include "platform/base/atomic_file.h"
#include "support/file_size_limit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utime.h>
#include <cerrno>

namespace velmar {
namespace {

using namespace Qt::Literals::StringLiterals;

using ReadOnly = AtomicFile::ReadOnlyTarget;
constexpr uid_t kNobody = 65534;

QByteArray native(const QString& path) {
    return QFile::encodeName(path);
}

int writeCode(const QString& path, const QByteArray& data, ReadOnly readOnly = ReadOnly::refuse,
              AtomicFile::Existing existing = AtomicFile::Existing::replace) {
    int code = 0;
    AtomicFile::write(path, data, &code, readOnly, existing);
    return code;
}

struct AtomicFileTest : ::testing::Test {
    QTemporaryDir dir;
    QString at(const QString& name) const { return dir.filePath(name); }
    static QByteArray readAll(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
    static void make(const QString& path, const QByteArray& data, mode_t mode = 0644,
                     bool old = false) {
        ASSERT_TRUE(AtomicFile::write(path, data, nullptr, ReadOnly::replace));
        ASSERT_EQ(::chmod(native(path).constData(), mode), 0);
        const utimbuf past{1'000'000, 1'000'000};
        ASSERT_EQ(old ? ::utime(native(path).constData(), &past) : 0, 0);
    }
    static mode_t modeOf(const QString& path) {
        struct stat st {};
        return ::lstat(native(path).constData(), &st) == 0 ? st.st_mode & 07777 : 01000;
    }
    // Every entry of a folder, so that no temporary file goes unnoticed.
    QStringList entries(const QString& folder = {}) const {
        return QDir(folder.isEmpty() ? dir.path() : folder)
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDir::Name);
    }
};

// A file the operator protected keeps its bits exactly and, read-only, is refused (judged from
// the bits, so also for root); the program's own files are always left readable and writable
// to their owner. Set-user-ID, set-group-ID and sticky bits are never handed on.
TEST_F(AtomicFileTest, PermissionBitsAreKeptAndReadOnlyTargetsRefusedOrReplaced) {
    const QString path = at(u"a.txt"_s);
    make(path, "first");
    const std::pair<mode_t, mode_t> kept[] = {{0640, 0640}, {0200, 0200}, {06755, 0755}};
    for (const auto& [before, after] : kept) {
        ASSERT_EQ(::chmod(native(path).constData(), before), 0);
        ASSERT_EQ(writeCode(path, "kept"), 0);
        EXPECT_EQ(modeOf(path), after) << std::oct << before;
    }
    for (const mode_t readOnly : {0400, 0444, 0500}) {
        make(path, "protected", readOnly);
        EXPECT_EQ(writeCode(path, "new"), EACCES);
        EXPECT_EQ(readAll(path), "protected");
        EXPECT_EQ(modeOf(path), readOnly);
    }
    const std::pair<mode_t, mode_t> replaced[] = {
        {0000, 0600}, {0044, 0644}, {0444, 0644}, {06755, 0755}, {01777, 0777}};
    for (const auto& [before, after] : replaced) {
        ASSERT_EQ(::chmod(native(path).constData(), before), 0);
        ASSERT_EQ(writeCode(path, "own", ReadOnly::replace), 0);
        EXPECT_EQ(modeOf(path), after) << std::oct << before;
    }
    EXPECT_EQ(readAll(path), "own");
    EXPECT_EQ(entries(), QStringList{u"a.txt"_s});
}

// A link of the user's in folders no one else can change is followed, however many, and stays.
TEST_F(AtomicFileTest, TheUsersOwnLinksAreWrittenThroughAndKept) {
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"real"_s));
    const QString real = at(u"real/show.tavrendek"_s);
    make(real, "old");
    ASSERT_EQ(::symlink("real/show.tavrendek", native(at(u"link"_s)).constData()), 0);
    ASSERT_TRUE(QFile::link(at(u"link"_s), at(u"chain"_s)));
    ASSERT_EQ(writeCode(at(u"chain"_s), "new"), 0);
    EXPECT_EQ(readAll(real), "new");
    EXPECT_EQ(entries(), (QStringList{u"chain"_s, u"link"_s, u"real"_s}));
    EXPECT_TRUE(QFileInfo(at(u"link"_s)).isSymLink());
    EXPECT_EQ(entries(at(u"real"_s)), QStringList{u"show.tavrendek"_s});

    // Links that lead round in a circle are an error, not a hang.
    ASSERT_TRUE(QFile::link(at(u"loop-a"_s), at(u"loop-b"_s)));
    ASSERT_TRUE(QFile::link(at(u"loop-b"_s), at(u"loop-a"_s)));
    EXPECT_EQ(writeCode(at(u"loop-a"_s), "x"), ELOOP);
}

// In a folder others may write to (0777) or a sticky one (1777, like /tmp), another user's link
// or file at the name is refused and left exactly as it was; the user's own link is followed
// only where no one else could have put it or can move it (sticky), also when it is reached
// through a link of the user's own folder.
TEST_F(AtomicFileTest, AnotherUsersLinkOrFileAndLinksInSharedFoldersAreRefused) {
    const QString victim = at(u"victim"_s);
    make(victim, "keep", 0644);
    for (const mode_t folderMode : {0777, 01777}) {
        SCOPED_TRACE(folderMode);
        const QString shared = at(QString::number(folderMode, 8));
        ASSERT_TRUE(QDir().mkpath(shared));
        ASSERT_EQ(::chmod(native(shared).constData(), folderMode), 0);
        const QString theirLink = shared + u"/their-link"_s;
        const QString theirFile = shared + u"/their-file"_s;
        const QString ownLink = shared + u"/own-link"_s;
        ASSERT_TRUE(QFile::link(victim, theirLink));
        ASSERT_TRUE(QFile::link(victim, ownLink));
        make(theirFile, "theirs", 0666);
        if (::lchown(native(theirLink).constData(), kNobody, kNobody) != 0 ||
            ::chown(native(theirFile).constData(), kNobody, kNobody) != 0) {
            GTEST_SKIP() << "needs root to make another user's files";
        }

        EXPECT_EQ(writeCode(theirLink, "x", ReadOnly::replace), AtomicFile::kLinkRefused);
        EXPECT_EQ(writeCode(theirFile, "x", ReadOnly::replace), AtomicFile::kOtherOwner);
        const bool sticky = folderMode & S_ISVTX;
        EXPECT_EQ(writeCode(ownLink, "own"), sticky ? 0 : AtomicFile::kLinkRefused);
        EXPECT_EQ(readAll(victim), sticky ? "own" : "keep");
        ASSERT_EQ(writeCode(victim, "keep"), 0);
        // Every link on the way is judged: one of the user's own folder leading to their link.
        ASSERT_TRUE(QFile::link(theirLink, at(u"mine"_s)));
        EXPECT_EQ(writeCode(at(u"mine"_s), "x"), AtomicFile::kLinkRefused);
        ASSERT_TRUE(QFile::remove(at(u"mine"_s)));

        EXPECT_EQ(readAll(victim), "keep");
        EXPECT_EQ(readAll(theirFile), "theirs");
        EXPECT_EQ(QFileInfo(theirFile).ownerId(), kNobody);
        EXPECT_EQ(QFileInfo(theirLink).symLinkTarget(), victim);
        EXPECT_EQ(entries(shared), (QStringList{u"own-link"_s, u"their-file"_s, u"their-link"_s}));
    }
}

// Copies that must never overwrite one another: something at the name stays and is told.
TEST_F(AtomicFileTest, AnExistingFileIsKeptWhenAsked) {
    const auto keep = AtomicFile::Existing::keep;
    EXPECT_EQ(writeCode(at(u"copy"_s), "first", ReadOnly::refuse, keep), 0);
    EXPECT_EQ(writeCode(at(u"copy"_s), "second", ReadOnly::refuse, keep), EEXIST);
    EXPECT_EQ(readAll(at(u"copy"_s)), "first");
    EXPECT_EQ(entries(), QStringList{u"copy"_s});
}

// Only our own stale temporaries of the same target go: not one being written, not a name that
// only looks like ours, not a folder or link, not another user's.
TEST_F(AtomicFileTest, OnlyOurOwnStaleTemporariesOfTheSameTargetAreRemoved) {
    const QString uuid = u"0b6f2c3e-4a5d-4e6f-8a9b-0c1d2e3f4a5b"_s;
    const QString mine = u".show.tavrendek.tmp-"_s;
    make(at(u"notes.txt"_s), "n", 0644, true);
    make(at(mine + uuid), "killed", 0644, true);                          // removed
    make(at(mine + u"1b6f2c3e-4a5d-4e6f-8a9b-0c1d2e3f4a5b"_s), "young");  // being written
    make(at(mine + uuid.toUpper()), "x", 0644, true);
    make(at(mine + uuid + u'x'), "x", 0644, true);
    make(at(u".other.tavrendek.tmp-"_s + uuid), "x", 0644, true);
    ASSERT_TRUE(QDir(dir.path()).mkdir(mine + u"2b6f2c3e-4a5d-4e6f-8a9b-0c1d2e3f4a5b"_s));
    ASSERT_TRUE(
        QFile::link(at(u"notes.txt"_s), at(mine + u"3b6f2c3e-4a5d-4e6f-8a9b-0c1d2e3f4a5b"_s)));
    const QString theirs = at(mine + u"4b6f2c3e-4a5d-4e6f-8a9b-0c1d2e3f4a5b"_s);
    make(theirs, "x", 0644, true);
    if (::lchown(native(theirs).constData(), kNobody, kNobody) != 0) QFile::remove(theirs);
    QStringList expected = entries();
    expected.removeOne(mine + uuid);
    expected << u"show.tavrendek"_s;
    expected.sort();

    ASSERT_EQ(writeCode(at(u"show.tavrendek"_s), "saved"), 0);
    EXPECT_EQ(entries(), expected);
    make(at(mine + uuid), "killed again", 0644, true);
    AtomicFile::removeLeftovers(at(u"show.tavrendek"_s));
    EXPECT_EQ(entries(), expected);
    EXPECT_EQ(readAll(at(u"notes.txt"_s)), "n");
}

// A name that fills the file system's limit (a backup named to fit it, a long Japanese project
// name) is written all the same, and what a killed writer of it left is found again. The
// temporary lends it only whole characters: here the limit falls inside one.
TEST_F(AtomicFileTest, ANameAtTheLengthLimitIsWrittenAndItsLeftoversFound) {
    const QString name = u'a' + QString(84, QChar(0x756a)) + u".txt"_s;  // 1 + 252 + 4 = 257
    const QString longest = name.left(84) + u".txt"_s;                   // 254
    ASSERT_EQ(writeCode(at(longest), "saved"), 0);
    EXPECT_EQ(writeCode(at(name), "x"), ENAMETOOLONG);
    EXPECT_EQ(entries(), QStringList{longest});
    // 213 bytes of the name fit beside ".", ".tmp-" and a UUID: "a" and 70 characters (211).
    const QString killed = u'.' + longest.left(71) + u".tmp-0b6f2c3e-4a5d-4e6f-8a9b-0c1d2e3f4a5b"_s;
    make(at(killed), "killed", 0644, true);
    ASSERT_EQ(writeCode(at(longest), "again"), 0);
    EXPECT_EQ(entries(), QStringList{longest});
    EXPECT_EQ(readAll(at(longest)), "again");
}

// Where the system gives each user a private group (umask 002), the folders the user makes are
// group-writable and still theirs alone: a link of theirs there is followed. A group with other
// members, a folder another user owns, and a name whose readers never follow links are not.
TEST_F(AtomicFileTest, OnlyTheUsersPrivateGroupAndNoOneElseMayChangeAFolderOfFollowedLinks) {
    if (::geteuid() != 0 || !atomic_file::isPrivateGroup(::getegid()))
        GTEST_SKIP() << "needs root, in a private group, to give folders other groups and owners";
    make(at(u"target"_s), "old");
    const auto folderWithLink = [&](const QString& name, mode_t mode, uid_t owner, gid_t group) {
        const QString folder = at(name);
        EXPECT_TRUE(QDir(dir.path()).mkdir(name));
        EXPECT_EQ(::symlink("../target", native(folder + u"/link"_s).constData()), 0);
        EXPECT_EQ(::chown(native(folder).constData(), owner, group), 0);
        EXPECT_EQ(::chmod(native(folder).constData(), mode), 0);
        return folder + u"/link"_s;
    };
    EXPECT_EQ(writeCode(folderWithLink(u"private"_s, 0775, ::geteuid(), ::getegid()), "new"), 0);
    EXPECT_EQ(readAll(at(u"target"_s)), "new");
    const QString team = folderWithLink(u"team"_s, 02775, ::geteuid(), 4242);
    EXPECT_EQ(writeCode(team, "x"), AtomicFile::kLinkRefused);
    const QString theirs = folderWithLink(u"theirs"_s, 0755, kNobody, kNobody);
    EXPECT_EQ(writeCode(theirs, "x"), AtomicFile::kLinkRefused);
    AtomicFile::Options noLinks;
    noLinks.links = AtomicFile::Links::refuse;
    const QString mine = at(u"private/link"_s);
    EXPECT_EQ(AtomicFile::check(mine, noLinks), AtomicFile::kLinkRefused);
    EXPECT_FALSE(AtomicFile::write(mine, "x", nullptr, noLinks));
    EXPECT_EQ(readAll(at(u"target"_s)), "new");
    EXPECT_TRUE(QFileInfo(mine).isSymLink());
}

// A teammate's file in a team's folder, chosen by the operator, is replaced as the system allows:
// its permission bits and group stay. Where the names are the program's own it stays refused.
TEST_F(AtomicFileTest, AnotherUsersFileIsReplacedOnlyWhenTheOperatorChoseIt) {
    const QString show = at(u"Show.tavrendek"_s);
    make(show, "teammate's", 0664);
    if (::chown(native(show).constData(), kNobody, 4242) != 0)
        GTEST_SKIP() << "needs root to make another user's files";
    AtomicFile::Options chosen;
    chosen.owner = AtomicFile::Owner::anyone;
    EXPECT_EQ(writeCode(show, "x"), AtomicFile::kOtherOwner);
    EXPECT_EQ(AtomicFile::check(show, chosen), 0);
    ASSERT_TRUE(AtomicFile::write(show, "operator's", nullptr, chosen));
    EXPECT_EQ(readAll(show), "operator's");
    EXPECT_EQ(modeOf(show), 0664u);
    EXPECT_EQ(QFileInfo(show).groupId(), 4242u);
    // One no one may write stays as it is.
    ASSERT_EQ(::chown(native(show).constData(), kNobody, 4242), 0);
    ASSERT_EQ(::chmod(native(show).constData(), 0444), 0);
    int code = 0;
    EXPECT_FALSE(AtomicFile::write(show, "y", &code, chosen));
    EXPECT_EQ(code, EACCES);
    EXPECT_EQ(readAll(show), "operator's");
}

TEST_F(AtomicFileTest, FailedWritesLoseNothing) {
    const QString path = at(u"project.tavrendek"_s);
    make(path, "old contents");
    EXPECT_EQ(writeCode(at(u"no/such/file"_s), "x"), ENOENT);
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"sub"_s));
    EXPECT_EQ(writeCode(at(u"sub"_s), "x"), EISDIR);
    // A device is no file to replace (one can be made by root only).
    if (::mknod(native(at(u"device"_s)).constData(), S_IFCHR | 0600, ::makedev(1, 3)) == 0) {
        EXPECT_EQ(writeCode(at(u"device"_s), "x"), AtomicFile::kNotRegular);
    }
    QFile::remove(at(u"device"_s));

    // The disk fills up in the middle of the write: a file-size limit makes write() fail after
    // 4 KiB, the way a full disk does.
    int code = 0;
    {
        const test::FileSizeLimit full(4096);
        ASSERT_TRUE(full.ok());
        code = writeCode(path, QByteArray(100000, 'n'));
    }
    EXPECT_EQ(code, EFBIG);
    EXPECT_EQ(readAll(path), "old contents");
    EXPECT_EQ(entries(), (QStringList{u"project.tavrendek"_s, u"sub"_s}));
}

}  // namespace
}  // namespace velmar
