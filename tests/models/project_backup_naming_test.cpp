#include "models/project_backup_naming.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace velmar {
namespace {

const ProjectBackupNaming show{QStringLiteral("Show"), QStringLiteral("1a2b3c4d"),
                               QStringLiteral("tavrendek")};

TEST(ProjectBackupNamingTest, RecognisesOnlyItsOwnNames) {
    struct Case {
        const char* name;
        bool owned;
    };
    const Case cases[] = {
        {"Show-1a2b3c4d-20260109-070503.tavrendek", true},
        {"Show-1a2b3c4d-20261399-999999.tavrendek", true},  // not a valid date: still owned
        {"Show-1a2b3c4d-20260109-0705.tavrendek", false},
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
    const ProjectBackupNaming tricky{QStringLiteral("Show-20260109"), QStringLiteral("00000000"),
                                     QStringLiteral("tavrendek")};
    EXPECT_FALSE(show.owns(tricky.fileName(QDateTime::currentDateTime())));
    EXPECT_FALSE(tricky.owns(show.fileName(QDateTime::currentDateTime())));
}

TEST(ProjectBackupNamingTest, IdentifierFollowsTheResolvedLocation) {
    QTemporaryDir dir;
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("a")));
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("b")));
    ASSERT_TRUE(QFile::link(dir.path() + QStringLiteral("/a"), dir.path() + QStringLiteral("/link")));
    const QString real = dir.path() + QStringLiteral("/a/Show.tavrendek");

    const QString id = ProjectBackupNaming::sourceIDFor(real);
    // Not written yet, through a link, through "." and "..", and once written: all the same.
    EXPECT_EQ(ProjectBackupNaming::sourceIDFor(dir.path() + QStringLiteral("/link/Show.tavrendek")), id);
    EXPECT_EQ(ProjectBackupNaming::sourceIDFor(dir.path() + QStringLiteral("/b/../a/./Show.tavrendek")), id);
    QFile file(real);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_EQ(ProjectBackupNaming::sourceIDFor(real), id);

    const auto other =
        ProjectBackupNaming::forProject(dir.path() + QStringLiteral("/b/Show.tavrendek"), QStringLiteral("tavrendek"));
    const auto mine = ProjectBackupNaming::forProject(real, QStringLiteral("tavrendek"));
    EXPECT_EQ(mine.baseName, QStringLiteral("Show"));
    EXPECT_FALSE(mine.owns(other.fileName(QDateTime::currentDateTime())));

    // Stable across runs and machines: depends only on the path text.
    EXPECT_EQ(ProjectBackupNaming::sourceIDFor(QStringLiteral("/nonexistent-velmar/x.tavrendek")),
              QString::fromLatin1(
                  QCryptographicHash::hash("/nonexistent-velmar/x.tavrendek", QCryptographicHash::Sha256)
                      .left(4)
                      .toHex()));
}

}  // namespace
}  // namespace velmar
