#include "render/test_pattern_kind.h"

#include "models/language_settings.h"
#include "models/localized.h"

#include <gtest/gtest.h>

#include <set>
#include <unordered_set>

namespace velmar {
namespace {

TEST(TestPatternKind, RawValuesRoundTripAndUnknownOnesGiveNothing) {
    for (TestPatternKind kind : TestPatternKind::allCases()) {
        EXPECT_EQ(TestPatternKind::fromRawValue(kind.rawValue()), kind);
    }
    EXPECT_EQ(TestPatternKind(TestPatternKind::colorBars75).rawValue(), QStringLiteral("colorBars75"));
    EXPECT_EQ(TestPatternKind(TestPatternKind::ledCabinet).shortLabel(), QStringLiteral("LED CABINET"));
    EXPECT_FALSE(TestPatternKind::fromRawValue(QStringLiteral("ColorBars75")).has_value());
    EXPECT_FALSE(TestPatternKind::fromRawValue(QString()).has_value());
}

TEST(TestPatternKind, GroupsPartitionTheCasesInOrder) {
    using G = TestPatternKind::Group;
    std::vector<TestPatternKind> joined;
    for (G g : {G::colorBars, G::toneScales, G::singleColors, G::geometry}) {
        for (TestPatternKind k : TestPatternKind::kinds(g)) joined.push_back(k);
    }
    const auto& all = TestPatternKind::allCases();
    ASSERT_EQ(joined.size(), all.size());
    for (size_t i = 0; i < all.size(); ++i) EXPECT_EQ(joined[i], all[i]);
    std::unordered_set<TestPatternKind> hashed(all.begin(), all.end());
    EXPECT_EQ(hashed.size(), 16u);
}

TEST(TestPatternKind, EveryTitleHasAnEnglishTranslation) {
    std::set<QString> titles;
    for (TestPatternKind kind : TestPatternKind::allCases()) {
        const QString key = QString::fromUtf8(kind.titleKey());
        const QString english = localized(key, AppLanguage::en);
        EXPECT_NE(english, key) << key.toStdString();
        EXPECT_EQ(localized(key, AppLanguage::ja), key);
        titles.insert(english);
    }
    EXPECT_EQ(titles.size(), 16u);
    EXPECT_EQ(QString::fromUtf8(TestPatternKind(TestPatternKind::smpteBars).titleKey()),
              QString::fromUtf8("SMPTE 風カラーバー（3段）"));
}

}  // namespace
}  // namespace velmar
