#pragma once

#include "render/led_cabinet_size.h"
#include "render/test_pattern_kind.h"

#include <QString>

#include <optional>
#include <vector>

namespace velmar {

// The entries of the "テストパターン" menu for the pattern now shown and the LED cabinet size:
// the clear item, then four sections (a disabled title, then one checkable item per pattern),
// separated. Texts are looked up when the description is built.
class TestPatternMenuDescription {
  public:
    struct Entry {
        enum class Kind { clear, separator, title, pattern };
        Kind kind = Kind::separator;
        QString text;
        bool isEnabled = false;
        bool isChecked = false;
        std::optional<TestPatternKind> pattern;  // for pattern items
    };

    static std::vector<Entry> build(std::optional<TestPatternKind> shown, LEDCabinetSize cabinet);
    // "LED キャビネット区切り…（%@ px）" with "W×H" as its one argument.
    static QString ledCabinetLabel(LEDCabinetSize cabinet);
    static const char* sectionTitleKey(TestPatternKind::Group group);
};

}  // namespace velmar
