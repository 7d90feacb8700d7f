#include "models/system_error_text.h"

#include "models/localized.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace velmar {
namespace {

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
