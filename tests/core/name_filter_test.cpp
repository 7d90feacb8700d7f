#include "core/rundown.h"

#include <gtest/gtest.h>

namespace velmar {
namespace {

// The strip's name filter, counted over a tab and asked clip by clip. ASCII names against an
// ASCII query take an in-place comparison; every other pair goes through Qt's case folding, and
// both must agree with it.
TEST(NameFilter, MatchesLikeCaseFoldedContainsOnEveryPath) {
    const QStringList names = {
        QStringLiteral("Clip 0042"),
        QStringLiteral("OPENING titles"),
        QStringLiteral("clip"),
        QStringLiteral("Été à Paris"),
        QStringLiteral("ｌｏｇｏ Ａ"),
        QStringLiteral("\u212Aelvin"),  // Kelvin sign
        QStringLiteral("Ab"),
        QString(),
        QStringLiteral("a\nline break"),
    };
    struct Case {
        const char* typed;
        QList<int> matches;  // indices into names
    };
    const Case cases[] = {
        {"", {0, 1, 2, 3, 4, 5, 6, 7, 8}},
        {"  \t", {0, 1, 2, 3, 4, 5, 6, 7, 8}},
        {"CLIP", {0, 2}},
        {" clip 00", {0}},   // blanks trimmed at both ends only
        {"0042", {0}},       // match at the very end of the name
        {"clip 00420", {}},  // longer than the name it starts
        {"titles", {1}},     // upper-case name, lower-case query
        {"ÉTÉ", {3}},        // non-ASCII query
        {"paris", {3}},      // ASCII query, non-ASCII name
        {"ＬＯＧＯ", {4}},   // full-width letters fold too
        {"kelvin", {5}},     // a non-ASCII letter folding to an ASCII one
        {"b", {6, 8}},
        {"e b", {8}},
    };
    Rundown rundown;
    ClipGroup tab;
    for (const QString& name : names) {
        Clip clip;
        clip.displayName = name;
        tab.clips.push_back(clip);
    }
    rundown.loadGroups({tab});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        rundown.setFilterText(QString::fromUtf8(c.typed));
        QList<int> got;
        for (int i = 0; i < names.size(); ++i)
            if (rundown.matchesFilter(rundown.groups()[0].clips[i])) got << i;
        EXPECT_EQ(got, c.matches);
        EXPECT_EQ(rundown.filteredCount(), c.matches.size());
    }
}

}  // namespace
}  // namespace velmar
