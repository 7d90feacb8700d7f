#include "models/project_backup_naming.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmar {
namespace {

using namespace Qt::Literals::StringLiterals;

const ProjectBackupNaming show{u"Show"_s, u"1a2b3c4d"_s, u"tavrendek"_s};

TEST(ProjectBackupNamingTest, RecognisesOnlyItsOwnNames) {
    struct Case {
        const char* name;
        bool owned;
    };
    const Case cases[] = {
        {"Show-1a2b3c4d-20260109-070503.tavrendek", true},
        {"Show-1a2b3c4d-20261399-999999.tavrendek", true},  // not a valid date: still owned
        {"Show-1a2b3c4d-20260109-0705.tavrendek", false},
        {"Show-1a2b3c4d-20260109-0705031.tavrendek", false},  // a digit too many
        {"Show-1a2b3c4d-20260109-070503.json", false},
        {"Show-1a2b3c4d-20260109_070503.tavrendek", false},
        {"Show-1a2b3c4d-2026010９-070503.tavrendek", false},  // full-width digit
        {"Show-ffffffff-20260109-070503.tavrendek", false},
        {"Show-2-1a2b3c4d-20260109-070503.tavrendek", false},
        {"Show-1a2b3c4d-20260109-070503.tavrendek.tmp", false},
    };
    for (const Case& c : cases) EXPECT_EQ(show.owns(QString::fromUtf8(c.name)), c.owned) << c.name;
    EXPECT_EQ(show.fileName(QDateTime(QDate(2026, 1, 9), QTime(7, 5, 3), Qt::LocalTime)),
              QString::fromUtf8(cases[0].name));

    // A base name that looks like a backup name itself is told apart by the identifier.
    const ProjectBackupNaming tricky{u"Show-20260109"_s, u"00000000"_s, u"tavrendek"_s};
    EXPECT_FALSE(show.owns(tricky.fileName(QDateTime::currentDateTime())));
    EXPECT_FALSE(tricky.owns(show.fileName(QDateTime::currentDateTime())));
}

// A project name too long to leave room in a 255-byte file name is cut at a character boundary,
// so its backups can still be written and recognised; a name that fits stays whole.
TEST(ProjectBackupNamingTest, LongNamesAreCutSoThatTheBackupCanBeWritten) {
    QTemporaryDir dir;
    const QDateTime at(QDate(2026, 1, 9), QTime(7, 5, 3), Qt::LocalTime);
    const QString fits = QString(220, u'a');
    EXPECT_EQ(ProjectBackupNaming::forProject(fits + u".tavrendek"_s, u"tavrendek"_s).baseName,
              fits);
    for (const QString& base :
         {QString(100, QChar(0x756A)), u"\U0001F3AC"_s.repeated(70), QString(221, u'a')}) {
        const auto naming = ProjectBackupNaming::forProject(
            dir.path() + u'/' + base + u".tavrendek"_s, u"tavrendek"_s);
        const QString name = naming.fileName(at);
        EXPECT_LE(name.toUtf8().size(), 255);
        EXPECT_TRUE(base.startsWith(naming.baseName));
        EXPECT_FALSE(naming.baseName.back().isHighSurrogate());
        EXPECT_TRUE(naming.owns(name));
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << file.errorString().toStdString();
    }
}

TEST(ProjectBackupNamingTest, IdentifierFollowsTheResolvedLocation) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(u"a"_s));
    ASSERT_TRUE(QDir(dir.path()).mkpath(u"b"_s));
    ASSERT_TRUE(QFile::link(dir.path() + u"/a"_s, dir.path() + u"/link"_s));
    const QString real = dir.path() + u"/a/Show.tavrendek"_s;

    const QString id = ProjectBackupNaming::sourceIDFor(real);
    // Not written yet, through a link, through "." and "..", and once written: all the same.
    EXPECT_EQ(ProjectBackupNaming::sourceIDFor(dir.path() + u"/link/Show.tavrendek"_s), id);
    EXPECT_EQ(ProjectBackupNaming::sourceIDFor(dir.path() + u"/b/../a/./Show.tavrendek"_s), id);
    QFile file(real);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_EQ(ProjectBackupNaming::sourceIDFor(real), id);

    const auto other =
        ProjectBackupNaming::forProject(dir.path() + u"/b/Show.tavrendek"_s, u"tavrendek"_s);
    const auto mine = ProjectBackupNaming::forProject(real, u"tavrendek"_s);
    EXPECT_EQ(mine.baseName, u"Show"_s);
    EXPECT_FALSE(mine.owns(other.fileName(QDateTime::currentDateTime())));

    // Stable across runs and machines: depends only on the path text.
    EXPECT_EQ(ProjectBackupNaming::sourceIDFor(u"/nonexistent-velmar/x.tavrendek"_s),
              QString::fromLatin1(QCryptographicHash::hash("/nonexistent-velmar/x.tavrendek",
                                                           QCryptographicHash::Sha256)
                                      .left(4)
                                      .toHex()));
}

}  // namespace
}  // namespace velmar
