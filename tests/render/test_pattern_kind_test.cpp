#include "render/test_pattern_kind.h"

#include "models/language_settings.h"
#include "models/localized.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace velmar {
namespace {

TEST(TestPatternKind, RawValuesRoundTripAndUnknownOnesGiveNothing) {
    for (TestPatternKind kind : TestPatternKind::allCases())
        EXPECT_EQ(TestPatternKind::fromRawValue(kind.rawValue()), kind);
    EXPECT_FALSE(TestPatternKind::fromRawValue(QStringLiteral("ColorBars75")).has_value());
    EXPECT_FALSE(TestPatternKind::fromRawValue(QString()).has_value());
}

// The menu groups cover every kind once, in order; the English titles tell all 16 apart.
TEST(TestPatternKind, GroupsPartitionTheCasesAndTitlesAreDistinct) {
    using G = TestPatternKind::Group;
    std::vector<TestPatternKind> joined;
    for (G g : {G::colorBars, G::toneScales, G::singleColors, G::geometry})
        for (TestPatternKind k : TestPatternKind::kinds(g)) joined.push_back(k);
    EXPECT_TRUE(std::equal(joined.begin(), joined.end(), TestPatternKind::allCases().begin(),
                           TestPatternKind::allCases().end()));
    std::set<QString> titles;
    for (TestPatternKind kind : TestPatternKind::allCases())
        titles.insert(localized(QString::fromUtf8(kind.titleKey()), AppLanguage::en));
    EXPECT_EQ(titles.size(), 16u);
}

}  // namespace
}  // namespace velmar
