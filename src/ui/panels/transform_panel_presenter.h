#pragma once

#include "models/canvas_format.h"
#include "models/clip_transform.h"

#include <QSet>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

namespace velmar {

class Rundown;

// The logic of the LAYOUT panel: display units of each placement field, the value texts, the
// entry parse and the commands. Targets are read from the rundown whenever a control acts, never
// kept. The rundown's setters clamp what they receive and ignore values that are not finite.
class TransformPanelPresenter {
  public:
    using Field = ClipTransform::Field;

    TransformPanelPresenter(Rundown& rundown, std::function<CanvasFormat()> canvas);

    QSet<QUuid> targets() const;
    QSet<QUuid> movieTargets() const;
    double canvasWidth() const;
    double canvasHeight() const;

    // The shared value in display units; none when the targets differ or there are none.
    std::optional<double> shownValue(Field field) const;
    // "—" without targets, "ばらばら" (looked up) when mixed, else the value text.
    QString display(Field field) const;
    // "0 〜 1920 px" and the like, with the range sign of the language in force.
    QString rangeHint(Field field) const;
    QString loopLabel() const;
    // The pre-filled entry text: the shared value formatted, or empty when mixed.
    QString entryText(Field field) const;

    // Writes a shown value to every target.
    void commit(Field field, double shown);
    // A drag increment in display units; nothing when the targets are mixed.
    void scrub(Field field, double delta);
    // Parses an entry and commits it; false (nothing written) when the text does not parse.
    bool apply(Field field, const QString& text);
    void fit();
    void reset();
    void setLoopCount(int count);  // 0 = endless

    // Whole-text number parse in the C locale, after trimming blanks of every width and tabs
    // (not line breaks) from both ends. Accepts a sign, exponents, "inf", "nan" and hexadecimal
    // floats; refuses empty text, leftover leading white space, non-ASCII digits and any
    // trailing character.
    static std::optional<double> parseEntry(const QString& text);
    static double shownFromStored(Field field, double stored, double w, double h);
    static double storedFromShown(Field field, double shown, double w, double h);
    static double step(Field field);
    static QString valueText(Field field, double shown);
    static QString format(Field field, double shown);
    static const char* rowLabel(Field field);
    static const char* sheetTitle(Field field);
    // Column maximum of the grid: max(centre column width - 12, 72).
    static double columnMaximum(double centerColumnWidth);

  private:
    Rundown& rundown_;
    std::function<CanvasFormat()> canvas_;
};

}  // namespace velmar
