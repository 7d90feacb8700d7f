#include "render/test_pattern_kind.h"

#include "models/localized.h"

namespace velmar {
namespace {

struct KindInfo {
    const char* raw;
    const char* titleKey;
    const char* shortLabel;
    TestPatternKind::Group group;
};

using G = TestPatternKind::Group;

// Indexed by TestPatternKind::Value.
constexpr KindInfo kInfo[] = {
    {"colorBars75", L10N_KEY("カラーバー 75%"), "BARS 75%", G::colorBars},
    {"colorBars100", L10N_KEY("カラーバー 100%"), "BARS 100%", G::colorBars},
    {"smpteBars", L10N_KEY("SMPTE 風カラーバー（3段）"), "SMPTE BARS", G::colorBars},
    {"grayscale11", L10N_KEY("グレースケール 11段"), "GRAY 11", G::toneScales},
    {"ramps", L10N_KEY("グラデーション（白・赤・緑・青）"), "RAMP", G::toneScales},
    {"white", L10N_KEY("白 100%"), "WHITE", G::singleColors},
    {"black", L10N_KEY("黒"), "BLACK", G::singleColors},
    {"red", L10N_KEY("赤 100%"), "RED", G::singleColors},
    {"green", L10N_KEY("緑 100%"), "GREEN", G::singleColors},
    {"blue", L10N_KEY("青 100%"), "BLUE", G::singleColors},
    {"gray50", L10N_KEY("グレー 50%"), "GRAY 50%", G::singleColors},
    {"crosshatch", L10N_KEY("クロスハッチ（格子・円・中心）"), "CROSSHATCH", G::geometry},
    {"edgeFrame", L10N_KEY("外周フレーム（端 1px・解像度表示）"), "EDGE FRAME", G::geometry},
    {"pixelLines", L10N_KEY("1px ライン（縦・横）"), "1PX LINES", G::geometry},
    {"pixelChecker", L10N_KEY("1px 市松"), "1PX CHECKER", G::geometry},
    {"ledCabinet", L10N_KEY("LED キャビネット区切り…"), "LED CABINET", G::geometry},
};
static_assert(std::size(kInfo) == 16);

const KindInfo& info(TestPatternKind kind) { return kInfo[static_cast<int>(kind.value())]; }

}  // namespace

const std::array<TestPatternKind, 16>& TestPatternKind::allCases() {
    static const std::array<TestPatternKind, 16> all = {
        colorBars75, colorBars100, smpteBars, grayscale11, ramps,     white,
        black,       red,          green,     blue,        gray50,    crosshatch,
        edgeFrame,   pixelLines,   pixelChecker, ledCabinet};
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
    for (TestPatternKind kind : allCases()) {
        if (raw == QLatin1String(info(kind).raw)) return kind;
    }
    return std::nullopt;
}

QString TestPatternKind::rawValue() const { return QString::fromLatin1(info(*this).raw); }

const char* TestPatternKind::titleKey() const { return info(*this).titleKey; }

QString TestPatternKind::title() const { return localized(titleKey()); }

QString TestPatternKind::shortLabel() const { return QString::fromLatin1(info(*this).shortLabel); }

TestPatternKind::Group TestPatternKind::group() const { return info(*this).group; }

}  // namespace velmar
