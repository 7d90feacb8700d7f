#pragma once

#include <QColor>
#include <QString>

#include <vector>

namespace velmar {

struct SignalSnapshot;

// The signal monitor's readouts: value formats and the four readout columns built from one
// snapshot. Y and key values lie in 0...1, colour differences in -0.5...0.5.
class SignalMonitorFormats {
  public:
    // "%.1f%%" of 100 v.
    static QString percent(double v);
    // "%.0f mV" of 700 v (white at 700 mV).
    static QString lumaMillivolts(double v);
    // "%+.0f mV" of 700 v: the sign always written.
    static QString colourDifferenceMillivolts(double v);
    // round(64 + 876 v) and round(512 + 896 v), half away from zero.
    static long long lumaCode(double v);
    static long long colourDifferenceCode(double v);
    // The two texts joined by " 〜 " (English " – ").
    static QString range(const QString& minimum, const QString& maximum);

    // One line of a readout column.
    struct Line {
        enum class Style {
            row,         // label (10, grey 0.66, 128 wide) and value (mono 11, grey 0.96)
            allClear,    // semibold 11, green
            alertCount,  // mono semibold 11, red, one line, shrinks to 0.7
            plainCount,  // mono 11, grey 0.96, one line, shrinks to 0.7
            hint,        // 10, grey 0.66, at most three lines
        };
        Style style = Style::row;
        QString label;  // looked up (rows only)
        QString text;   // the value, or the whole text of the other styles
    };
    struct Column {
        QString title;  // looked up
        std::vector<Line> lines;
    };

    // FILL, colour difference, KEY and fill against key. The last follows the key alpha mode
    // stored in the snapshot, not the engine's current one.
    static std::vector<Column> readoutColumns(const SignalSnapshot& snapshot);
    // The colour of a line's text.
    static QColor colour(Line::Style style);
};

}  // namespace velmar
