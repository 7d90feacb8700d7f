#include "models/strip_order.h"

#include <gtest/gtest.h>

#include <string>

namespace velmar {
namespace {

// Strips are written as strings: upper-case letters are clips, digits are
// markers ("A1B" is clip A, marker 1, clip B). Ids are made from the characters
// so that tests read plainly.
QUuid idOf(char c) {
    return QUuid(0x1000u + static_cast<unsigned char>(c), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
}

StripOrder::Item itemOf(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) ? StripOrder::Item::marker(idOf(c))
                                                       : StripOrder::Item::clip(idOf(c));
}

QSet<StripOrder::Item> selection(const std::string& chars) {
    QSet<StripOrder::Item> set;
    for (char c : chars) set.insert(itemOf(c));
    return set;
}

// Builds the order the way the engine does: clip ids plus markers placed by
// position.
StripOrder strip(const std::string& text) {
    QList<QUuid> clips;
    QList<Marker> markers;
    for (char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c))) {
            markers.append(Marker{idOf(c), static_cast<int>(clips.size()), QString(QChar(c))});
        } else {
            clips.append(idOf(c));
        }
    }
    return StripOrder(clips, markers);
}

std::string text(const StripOrder& order) {
    std::string out;
    for (const auto& item : order.items) out += static_cast<char>(item.id().data1 - 0x1000u);
    return out;
}

// The markers an order gives back, as "name@position" words.
std::string markerText(const StripOrder& order) {
    std::string out;
    for (const Marker& m : order.markers())
        out += m.name.toStdString() + "@" + std::to_string(m.position) + " ";
    return out;
}

// Markers sit before the clip at their position, in list order at one position;
// those outside the strip are dropped from the items but kept in the source
// list.
TEST(StripOrderTest, InterleavesMarkersAndDropsThoseOutsideTheStrip) {
    const QList<QUuid> clips = {idOf('A'), idOf('B'), idOf('C')};
    const QList<Marker> markers = {
        {idOf('1'), 0, QStringLiteral("1")},  {idOf('4'), 2, QStringLiteral("4")},
        {idOf('3'), 3, QStringLiteral("3")},  {idOf('6'), 7, QStringLiteral("6")},
        {idOf('5'), -1, QStringLiteral("5")}, {idOf('2'), 2, QStringLiteral("2")},
    };
    const StripOrder order(clips, markers);
    EXPECT_EQ(text(order), "1AB42C3");
    EXPECT_EQ(markerText(order), "1@0 4@2 2@2 3@3 ");
    EXPECT_EQ(order.clipIDs(), clips);
    EXPECT_EQ(order.sourceMarkers, markers);
}

TEST(StripOrderTest, Nudge) {
    const std::tuple<const char*, const char*, int, const char*, bool> cases[] = {
        {"ABC", "AB", +5, "CAB", true},    // a block moves one place, whatever
                                           // the delta
        {"ABC", "AB", -1, "ABC", false},   // already at the start
        {"ABC", "C", +1, "ABC", false},    // already at the end
        {"ABC", "AC", +1, "BAC", true},    // C stays, A moves
        {"ABC", "AC", -1, "ACB", true},    // A stays, C moves
        {"ABCD", "AC", +1, "BADC", true},  // two separate items both move
        {"A1B", "1", -1, "1AB", true},     // a marker passing a clip
        {"A1B", "1", +1, "AB1", true},
        {"1A", "1", -3, "1A", false},
        {"ABC", "B", 0, "ABC", false},
        {"", "", -1, "", false},
        {"ABC", "Z", +1, "ABC", false},  // selection not on the strip
    };
    for (const auto& [start, selected, delta, expected, changed] : cases) {
        StripOrder order = strip(start);
        EXPECT_EQ(order.nudge(selection(selected), delta), changed) << start << selected << delta;
        EXPECT_EQ(text(order), expected) << start << " nudge " << selected << " by " << delta;
    }
}

TEST(StripOrderTest, Move) {
    const std::tuple<const char*, const char*, StripInsertion, const char*, bool> cases[] = {
        {"ABC", "A", {3, {}, false}, "BCA", true},
        {"A1BC", "C", {0, idOf('1'), true}, "A1CB", true},   // just after the marker
        {"A1BC", "C", {0, idOf('1'), false}, "AC1B", true},  // just before it
        {"A1BC", "C", {1, idOf('9'), true}, "AC1B", true},   // unknown marker: the gap
        {"1AB", "B", {0, {}, false}, "B1A", true},           // gap 0 is before leading markers
        {"A1B", "B", {1, {}, false}, "AB1", true},           // gap 1 is before the marker after A
        {"AB", "B", {1, {}, false}, "AB", false},            // already there
        {"ABC", "Z", {0, {}, false}, "ABC", false},          // nothing of the strip selected
        {"ABCDE", "BD", {5, {}, false}, "ACEBD", true},      // a scattered block keeps its order
        {"ABCDE", "DB", {0, {}, false}, "BDACE", true},
        {"ABCDE", "BD", {3, {}, false}, "ACBDE", true},      // into the middle of itself
        {"ABC", "A", {99, {}, false}, "BCA", true},          // gap past the end
        {"ABC", "C", {-4, {}, false}, "ABC", false},         // negative gap: the end
        {"A1B2C", "1B2", {3, {}, false}, "AC1B2", true},     // markers travel with their clip
        {"A1BC", "1", {0, idOf('1'), true}, "A1BC", false},  // next to itself
    };
    for (const auto& [start, selected, to, expected, changed] : cases) {
        StripOrder order = strip(start);
        EXPECT_EQ(order.move(selection(selected), to), changed) << start << selected << to.gap;
        EXPECT_EQ(text(order), expected) << start << " move " << selected << " to " << to.gap;
    }
}

TEST(StripOrderTest, ItemWithoutSourceMarkerIsSkipped) {
    StripOrder order = strip("A1B");
    order.items.append(StripOrder::Item::marker(idOf('7')));
    EXPECT_EQ(markerText(order), "1@1 ");
}

}  // namespace
}  // namespace velmar
