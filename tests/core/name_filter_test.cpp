#include "core/rundown.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

// The strip's name filter, counted over a tab and asked clip by clip. An ASCII query against an
// ASCII name is compared in place; every other pair goes through Qt's case folding.
TEST(NameFilter, MatchesLikeCaseFoldedContainsOnEveryPath) {
    const QStringList names = {"Clip 0042", "Été à Paris", "ｌｏｇｏ Ａ", "\u212Aelvin"};
    const std::pair<const char*, QList<int>> cases[] = {
        {"  \t", {0, 1, 2, 3}},  // blanks only: no filter
        {" cLIP 00", {0}},       // blanks trimmed, case ignored
        {"0042", {0}},           // at the very end of the name
        {"clip 00420", {}},      // longer than the name it starts
        {"paris", {1}},          // ASCII query, non-ASCII name
        {"ＬＯＧＯ", {2}},       // full-width letters fold too
        {"kelvin", {3}},         // the Kelvin sign folds to an ASCII k
    };
    ClipGroup tab;
    for (const QString& name : names) {
        Clip clip;
        clip.displayName = name;
        tab.clips.push_back(clip);
    }
    Rundown rundown;
    rundown.loadGroups({tab});
    for (const auto& [typed, matches] : cases) {
        rundown.setFilterText(QString::fromUtf8(typed));
        QList<int> got;
        for (int i = 0; i < names.size(); ++i)
            if (rundown.matchesFilter(rundown.groups()[0].clips[i])) got << i;
        EXPECT_EQ(got, matches) << typed;
        EXPECT_EQ(rundown.filteredCount(), matches.size()) << typed;
    }
}

}  // namespace
}  // namespace velmar
