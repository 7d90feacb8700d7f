#include "support/qt_printers.h"

#include "core/rundown.h"

#include <gtest/gtest.h>

#include <functional>

namespace velmar::test {
namespace {

Clip named(const QString& name) {
    Clip clip;
    clip.url = QUrl::fromLocalFile("/media/" + name + ".png");
    clip.displayName = name;
    return clip;
}

// Every edit emits exactly the signals of what it changed; an edit that changes nothing emits
// none. Each case starts from tab A (C0..C3, a marker before C2, NEXT C1) and an empty tab B.
TEST(RundownSignals, EachEditEmitsOnlyTheSignalsOfWhatItChanged) {
    struct Case {
        const char* name;
        std::function<void(Rundown&)> edit;
        QStringList signals_;
    };
    auto id = [](Rundown& r, int i) { return r.groups()[0].clips[i].id; };
    const std::vector<Case> cases = {
        {"add tab", [](Rundown& r) { r.addGroup("C"); }, {"tabs", "current2"}},
        {"rename tab", [](Rundown& r) { r.renameGroup(1, "X"); }, {"tabs"}},
        {"rename to the same or blank",
         [](Rundown& r) { r.renameGroup(1, " B "), r.renameGroup(1, " "); },
         {}},
        {"move tab", [](Rundown& r) { r.moveGroup(0, 1); }, {"tabs", "current1"}},
        {"move tab nowhere", [](Rundown& r) { r.moveGroup(0, 0), r.moveGroup(1, 1); }, {}},
        {"remove another tab", [](Rundown& r) { r.removeGroup(1); }, {"tabs"}},
        {"switch tab", [](Rundown& r) { r.selectGroup(1); }, {"current1"}},
        {"switch to the current tab", [](Rundown& r) { r.selectGroup(0); }, {}},
        {"add before NEXT and marker",
         [](Rundown& r) { r.addClips({named("N")}, 0); },
         {"clips0", "markers0", "selection"}},
        {"append", [](Rundown& r) { r.addClips({named("N")}); }, {"clips0"}},
        {"remove the last clip", [id](Rundown& r) { r.removeClips({id(r, 3)}, 0); }, {"clips0"}},
        {"remove before NEXT",
         [id](Rundown& r) { r.removeClips({id(r, 0)}, 0); },
         {"clips0", "markers0", "selection"}},
        {"move to B", [id](Rundown& r) { r.moveClips({id(r, 3)}, 1); }, {"clips0", "clips1"}},
        {"select", [](Rundown& r) { r.setSelectedIndex(2); }, {"selection"}},
        {"select NEXT again", [](Rundown& r) { r.setSelectedIndex(1); }, {}},
        {"reorder selection", [id](Rundown& r) { r.toggleReorderSelection(0); }, {"selection"}},
        {"empty selection again", [](Rundown& r) { r.setReorderSelection({}, 2); }, {}},
        {"filter", [](Rundown& r) { r.setFilterText("c"); }, {"filter"}},
        {"same filter", [](Rundown& r) { r.setFilterText(""); }, {}},
        {"transform",
         [id](Rundown& r) { r.setTransform(ClipTransform::Field::scale, 2, {id(r, 0)}); },
         {"clips0"}},
        {"same transform",
         [id](Rundown& r) { r.setTransform(ClipTransform::Field::scale, 1, {id(r, 0)}); },
         {}},
        {"same motion", [id](Rundown& r) { r.setMotion(std::nullopt, {id(r, 0)}); }, {}},
        {"nudge past NEXT", [id](Rundown& r) { r.nudge({id(r, 0)}, 1); }, {"clips0", "selection"}},
        {"nudge over the marker", [id](Rundown& r) { r.nudge({id(r, 2)}, -1); }, {"markers0"}},
        {"nudge at the start", [id](Rundown& r) { r.nudge({id(r, 0)}, -1); }, {}},
        {"add marker", [](Rundown& r) { r.addMarker(4, "end"); }, {"markers0"}},
        {"blank marker", [](Rundown& r) { r.addMarker(4, " "); }, {}},
        {"pending checks", [](Rundown& r) { r.setPendingVerification(3); }, {"pending"}},
        {"no pending checks", [](Rundown& r) { r.setPendingVerification(-1); }, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rundown rundown;
        ClipGroup a;
        a.name = "A";
        a.clips = {named("C0"), named("C1"), named("C2"), named("C3")};
        a.markers = {Marker{QUuid::createUuid(), 2, "m"}};
        a.selectedIndex = 1;
        ClipGroup b;
        b.name = "B";
        rundown.loadGroups({a, b});
        QStringList seen;
        QObject::connect(&rundown, &Rundown::tabsChanged, [&] { seen << "tabs"; });
        QObject::connect(&rundown, &Rundown::currentTabChanged,
                         [&](int i) { seen << "current" + QString::number(i); });
        QObject::connect(&rundown, &Rundown::clipsChanged,
                         [&](int i) { seen << "clips" + QString::number(i); });
        QObject::connect(&rundown, &Rundown::markersChanged,
                         [&](int i) { seen << "markers" + QString::number(i); });
        QObject::connect(&rundown, &Rundown::selectionChanged, [&] { seen << "selection"; });
        QObject::connect(&rundown, &Rundown::filterChanged, [&] { seen << "filter"; });
        QObject::connect(&rundown, &Rundown::pendingVerificationChanged,
                         [&] { seen << "pending"; });
        c.edit(rundown);
        EXPECT_EQ(seen, c.signals_);
    }
}

}  // namespace
}  // namespace velmar::test
