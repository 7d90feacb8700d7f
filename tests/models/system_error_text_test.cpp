#include "models/system_error_text.h"

#include "models/localized.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cerrno>
#include <cstring>

namespace velmar {
namespace {

TEST(SystemErrorText, CommonCausesAndWhatIsInTheFilesPlaceAreLookedUpOthersAreTheSystemsText) {
    const std::pair<int, const char*> cases[] = {
        {EPERM, "アクセス権がありません"},
        {ENOSPC, "ディスクの空き容量が足りません"},
        {EDQUOT, "ディスクの空き容量が足りません"},
        {EROFS, "読み取り専用のファイルシステムです"},
        {AtomicFile::kLinkRefused, "シンボリックリンクが置かれています"},
        {AtomicFile::kOtherOwner, "他のユーザーのファイルが置かれています"},
        {AtomicFile::kNotRegular, "通常のファイルではないものが置かれています"}};
    for (const auto& [code, key] : cases) EXPECT_EQ(systemErrorText(code), localized(key)) << code;
    EXPECT_EQ(systemErrorText(EISDIR), QString::fromLocal8Bit(std::strerror(EISDIR)));
}

// Judged from the mode bits, so the refusal holds for root too.
TEST(SystemErrorText, AReadOnlyProjectIsRefusedWithThePermissionText) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("show.tavrendek"));
    ASSERT_TRUE(writeFileWhole(path, "old", nullptr));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    QString error;
    EXPECT_FALSE(writeFileWhole(path, "new", &error));
    EXPECT_EQ(error, localized("アクセス権がありません"));
}

}  // namespace
}  // namespace velmar
