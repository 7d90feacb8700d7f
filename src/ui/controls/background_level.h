#pragma once

#include <QColor>

namespace velmar {

// The window grey for the stored background level, clamped to 0...3: white 0.02, 0.12, 0.22
// or 0.35.
struct BackgroundLevel {
    static QColor base(int level);
};

}  // namespace velmar
