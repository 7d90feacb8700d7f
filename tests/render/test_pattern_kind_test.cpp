#include "render/test_pattern_kind.h"

#include "models/language_settings.h"
#include "models/localized.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace velmar {
namespace {

// Stored by these texts, in menu order; each reads back as its kind.
TEST(TestPatternKind, EveryRawValueIsPinned) {
    QStringList raws;
    for (TestPatternKind kind : TestPatternKind::allCases()) {
        raws << kind.rawValue();
        EXPECT_EQ(TestPatternKind::fromRawValue(kind.rawValue()), kind);
    }
    EXPECT_EQ(raws.join(QLatin1Char(',')),
              QStringLiteral("colorBars75,colorBars100,smpteBars,grayscale11,ramps,white,black,red,"
                             "green,blue,gray50,crosshatch,edgeFrame,pixelLines,pixelChecker,"
                             "ledCabinet"));
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
