#include "engine_fixture.h"

#include <QSignalSpy>

namespace velmar::test {
namespace {

// The current tab as one row: clip names, and markers as "|name".
QStringList strip(const PlayoutEngine& engine) {
    const ClipGroup group = *engine.rundown().currentGroup();
    QStringList out;
    int m = 0;
    for (int i = 0; i <= group.clips.size(); ++i) {
        for (; m < group.markers.size() && group.markers[m].position == i; ++m) {
            out << "|" + group.markers[m].name;
        }
        if (i < group.clips.size()) out << group.clips[i].displayName;
    }
    return out;
}

struct StripFixture : EngineFixture {
    void loadStrip(int clips, QList<QPair<int, QString>> markers, int selected = 0) {
        QList<Marker> list;
        for (const auto& [position, name] : markers)
            list << Marker{QUuid::createUuid(), position, name};
        loadTab(stills(clips), selected, list);
    }
    QUuid clipID(int index) const { return rundown().currentGroup()->clips[index].id; }
    QUuid markerID(const QString& name) const {
        const ClipGroup group = *rundown().currentGroup();
        for (const Marker& m : group.markers) {
            if (m.name == name) return m.id;
        }
        return {};
    }
};

TEST_F(StripFixture, MarkersTravelWithTheClipsAroundThem) {
    loadStrip(5, {{2, "M"}}, 1);
    EXPECT_TRUE(rundown().nudge({clipID(1)}, 1));
    EXPECT_EQ(strip(*engine), QStringList({"C0", "|M", "C1", "C2", "C3", "C4"}));
    EXPECT_EQ(rundown().selectedClip()->displayName, "C1") << "NEXT stays on its clip";

    // A block of clips dragged across the marker to the end.
    EXPECT_TRUE(rundown().move({clipID(0), clipID(1)}, StripInsertion{5}));
    EXPECT_EQ(strip(*engine), QStringList({"|M", "C2", "C3", "C4", "C0", "C1"}));

    rundown().moveMarker(markerID("M"), StripInsertion{3});
    EXPECT_EQ(strip(*engine), QStringList({"C2", "C3", "C4", "|M", "C0", "C1"}));
    EXPECT_TRUE(rundown().move({clipID(3)}, StripInsertion{0, markerID("M"), false}));
    EXPECT_EQ(strip(*engine), QStringList({"C2", "C3", "C4", "C0", "|M", "C1"}));

    // A drag that changes nothing writes nothing.
    QSignalSpy groups(&rundown(), &Rundown::clipsChanged);
    EXPECT_FALSE(rundown().move({clipID(1)}, StripInsertion{1}));
    EXPECT_FALSE(rundown().nudge({clipID(0)}, -1));
    EXPECT_FALSE(rundown().move({QUuid::createUuid()}, StripInsertion{0}));
    EXPECT_EQ(groups.count(), 0);

    // Removing clips keeps a marker in its gap.
    rundown().removeClips({clipID(0), clipID(3)}, 0);
    EXPECT_EQ(strip(*engine), QStringList({"C3", "C4", "|M", "C1"}));
}

TEST_F(StripFixture, AReorderAroundNextKeepsItsMediumLoaded) {
    loadStrip(4, {}, 1);
    ASSERT_TRUE(engine->nextMedia().has_value());
    const int loads = stillLoads;
    QSignalSpy next(engine.get(), &PlayoutEngine::nextMediaChanged);
    rundown().nudge({clipID(3)}, -1);
    rundown().move({clipID(0)}, StripInsertion{4});
    rundown().addMarker(1, "m");
    rundown().moveMarker(markerID("m"), StripInsertion{3});
    settle();
    EXPECT_EQ(stillLoads, loads) << "no new decode for the same NEXT";
    EXPECT_EQ(next.count(), 0);

    // Take right after a nudge: NEXT is ready at once.
    rundown().nudge({clipID(0)}, 1);
    engine->returnPressed();
    EXPECT_EQ(engine->programClip()->displayName, "C1");
}

TEST_F(StripFixture, MarkersAreAddedRenamedAndRemovedByTheirRules) {
    loadStrip(3, {{3, "A"}});
    rundown().addMarker(3, "B");
    rundown().addMarker(0, "  first\n");
    rundown().addMarker(4, "beyond");
    rundown().addMarker(-1, "before");
    rundown().addMarker(1, " \t ");
    EXPECT_EQ(strip(*engine), QStringList({"|first", "C0", "C1", "C2", "|A", "|B"}));

    rundown().renameMarker(markerID("B"), "  ");
    rundown().renameMarker(markerID("B"), " Bee ");
    rundown().renameMarker(QUuid::createUuid(), "ghost");
    rundown().removeMarker(markerID("first"));
    EXPECT_EQ(strip(*engine), QStringList({"C0", "C1", "C2", "|A", "|Bee"}));
}

TEST_F(StripFixture, BarSectionsFollowTheInnerMarkers) {
    struct Case {
        const char* name;
        int clips;
        QList<QPair<int, QString>> markers;
        QList<BarSection> sections;
    };
    const std::vector<Case> cases = {
        {"named lead, empty and end markers",
         10,
         {{0, "Intro"}, {3, "Alpha"}, {3, "Beta"}, {7, "Gamma"}, {10, "End"}},
         {{"Intro", 0, 3, 0}, {"Beta", 3, 4, 2}, {"Gamma", 7, 3, 3}}},
        {"no markers", 5, {}, {{std::nullopt, 0, 5, 0}}},
        {"one inner marker", 5, {{2, "X"}}, {{std::nullopt, 0, 2, 0}, {"X", 2, 3, 1}}},
        {"unsorted markers",
         6,
         {{4, "b"}, {2, "a"}, {0, "x"}, {0, "y"}},
         {{"x", 0, 2, 0}, {"a", 2, 2, 1}, {"b", 4, 2, 2}}},
        {"no clips", 0, {{0, "x"}}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        loadStrip(c.clips, c.markers, c.clips);
        EXPECT_EQ(rundown().barSections(), c.sections);
    }
}

}  // namespace
}  // namespace velmar::test
