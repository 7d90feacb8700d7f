#include "ui/panels/test_pattern_menu_description.h"

#include "models/localized.h"

namespace velmar {

const char* TestPatternMenuDescription::sectionTitleKey(TestPatternKind::Group group) {
    switch (group) {
        case TestPatternKind::Group::colorBars:
            return L10N_KEY("カラーバー");
        case TestPatternKind::Group::toneScales:
            return L10N_KEY("階調");
        case TestPatternKind::Group::singleColors:
            return L10N_KEY("単色（LED の抜け・ムラ）");
        case TestPatternKind::Group::geometry:
            return L10N_KEY("形状・マッピング");
    }
    return "";
}

QString TestPatternMenuDescription::ledCabinetLabel(LEDCabinetSize cabinet) {
    const QString size = QStringLiteral("%1×%2").arg(cabinet.width).arg(cabinet.height);
    return localizedFormat("LED キャビネット区切り…（%@ px）", {size});
}

std::vector<TestPatternMenuDescription::Entry> TestPatternMenuDescription::build(
    std::optional<TestPatternKind> shown, LEDCabinetSize cabinet) {
    using Kind = Entry::Kind;
    std::vector<Entry> entries;
    entries.push_back(
        {Kind::clear, localized("テストパターンを消す"), shown.has_value(), false, {}});
    for (auto group : {TestPatternKind::Group::colorBars, TestPatternKind::Group::toneScales,
                       TestPatternKind::Group::singleColors, TestPatternKind::Group::geometry}) {
        entries.push_back({Kind::separator, {}, false, false, {}});
        entries.push_back({Kind::title, localized(sectionTitleKey(group)), false, false, {}});
        for (TestPatternKind kind : TestPatternKind::kinds(group)) {
            const QString text =
                kind == TestPatternKind::ledCabinet ? ledCabinetLabel(cabinet) : kind.title();
            entries.push_back({Kind::pattern, text, true, shown == kind, kind});
        }
    }
    return entries;
}

}  // namespace velmar
