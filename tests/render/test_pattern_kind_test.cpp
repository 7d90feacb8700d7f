#include "render/test_pattern_kind.h"

#include "models/language_settings.h"
#include "models/localized.h"

#include <gtest/gtest.h>

#include <set>
#include <unordered_set>

namespace velmar {
namespace {

TEST(TestPatternKind, CasesRawValuesAndLabelsInMenuOrder) {
    struct Row {
        const char* raw;
        const char* label;
        TestPatternKind::Group group;
    };
    using G = TestPatternKind::Group;
    const Row expected[] = {
        {"colorBars75", "BARS 75%", G::colorBars},   {"colorBars100", "BARS 100%", G::colorBars},
        {"smpteBars", "SMPTE BARS", G::colorBars},   {"grayscale11", "GRAY 11", G::toneScales},
        {"ramps", "RAMP", G::toneScales},            {"white", "WHITE", G::singleColors},
        {"black", "BLACK", G::singleColors},         {"red", "RED", G::singleColors},
        {"green", "GREEN", G::singleColors},         {"blue", "BLUE", G::singleColors},
        {"gray50", "GRAY 50%", G::singleColors},     {"crosshatch", "CROSSHATCH", G::geometry},
        {"edgeFrame", "EDGE FRAME", G::geometry},    {"pixelLines", "1PX LINES", G::geometry},
        {"pixelChecker", "1PX CHECKER", G::geometry}, {"ledCabinet", "LED CABINET", G::geometry},
    };
    const auto& all = TestPatternKind::allCases();
    ASSERT_EQ(all.size(), std::size(expected));
    for (size_t i = 0; i < all.size(); ++i) {
        SCOPED_TRACE(expected[i].raw);
        EXPECT_EQ(static_cast<size_t>(all[i].value()), i);
        EXPECT_EQ(all[i].rawValue(), QString::fromLatin1(expected[i].raw));
        EXPECT_EQ(all[i].shortLabel(), QString::fromLatin1(expected[i].label));
        EXPECT_EQ(all[i].group(), expected[i].group);
        EXPECT_EQ(TestPatternKind::fromRawValue(all[i].rawValue()), all[i]);
    }
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
