#include "render/test_pattern_kind.h"

#include "models/localized.h"
#include "models/raw_enum.h"

namespace velmar {
namespace {

struct KindInfo {
    TestPatternKind::Value value;
    const char* raw;
    const char* titleKey;
    const char* shortLabel;
    TestPatternKind::Group group;
};

using G = TestPatternKind::Group;
using K = TestPatternKind;

// Indexed by TestPatternKind::Value.
constexpr KindInfo kInfo[] = {
    {K::colorBars75, "colorBars75", L10N_KEY("カラーバー 75%"), "BARS 75%", G::colorBars},
    {K::colorBars100, "colorBars100", L10N_KEY("カラーバー 100%"), "BARS 100%", G::colorBars},
    {K::smpteBars, "smpteBars", L10N_KEY("SMPTE 風カラーバー（3段）"), "SMPTE BARS", G::colorBars},
    {K::grayscale11, "grayscale11", L10N_KEY("グレースケール 11段"), "GRAY 11", G::toneScales},
    {K::ramps, "ramps", L10N_KEY("グラデーション（白・赤・緑・青）"), "RAMP", G::toneScales},
    {K::white, "white", L10N_KEY("白 100%"), "WHITE", G::singleColors},
    {K::black, "black", L10N_KEY("黒"), "BLACK", G::singleColors},
    {K::red, "red", L10N_KEY("赤 100%"), "RED", G::singleColors},
    {K::green, "green", L10N_KEY("緑 100%"), "GREEN", G::singleColors},
    {K::blue, "blue", L10N_KEY("青 100%"), "BLUE", G::singleColors},
    {K::gray50, "gray50", L10N_KEY("グレー 50%"), "GRAY 50%", G::singleColors},
    {K::crosshatch, "crosshatch", L10N_KEY("クロスハッチ（格子・円・中心）"), "CROSSHATCH",
     G::geometry},
    {K::edgeFrame, "edgeFrame", L10N_KEY("外周フレーム（端 1px・解像度表示）"), "EDGE FRAME",
     G::geometry},
    {K::pixelLines, "pixelLines", L10N_KEY("1px ライン（縦・横）"), "1PX LINES", G::geometry},
    {K::pixelChecker, "pixelChecker", L10N_KEY("1px 市松"), "1PX CHECKER", G::geometry},
    {K::ledCabinet, "ledCabinet", L10N_KEY("LED キャビネット区切り…"), "LED CABINET", G::geometry},
};
static_assert(std::size(kInfo) == 16 && raw_enum::inCaseOrder(kInfo));

const KindInfo& info(TestPatternKind kind) {
    return kInfo[static_cast<int>(kind.value())];
}

}  // namespace

const std::array<TestPatternKind, 16>& TestPatternKind::allCases() {
    static constexpr auto all = raw_enum::allCases<TestPatternKind>(kInfo);
    return all;
}

std::vector<TestPatternKind> TestPatternKind::kinds(Group group) {
    std::vector<TestPatternKind> out;
    for (TestPatternKind kind : allCases()) {
        if (kind.group() == group) out.push_back(kind);
    }
    return out;
}

std::optional<TestPatternKind> TestPatternKind::fromRawValue(const QString& raw) {
    return raw_enum::fromRawValue<TestPatternKind>(kInfo, raw);
}

QString TestPatternKind::rawValue() const {
    return raw_enum::rawValue(kInfo, value_);
}

const char* TestPatternKind::titleKey() const {
    return info(*this).titleKey;
}

QString TestPatternKind::title() const {
    return localized(titleKey());
}

QString TestPatternKind::shortLabel() const {
    return QString::fromLatin1(info(*this).shortLabel);
}

TestPatternKind::Group TestPatternKind::group() const {
    return info(*this).group;
}

}  // namespace velmar
