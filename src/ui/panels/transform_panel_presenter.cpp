#include "ui/panels/transform_panel_presenter.h"

#include "core/rundown.h"
#include "models/localized.h"

#include <locale.h>
#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdlib>

namespace velmar {

namespace {

// The C locale for number parsing, independent of the process locale Qt set.
locale_t cLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    return locale;
}

bool isTrimmedBlank(QChar c) {
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

}  // namespace

TransformPanelPresenter::TransformPanelPresenter(Rundown& rundown,
                                                 std::function<CanvasFormat()> canvas)
    : rundown_(rundown), canvas_(std::move(canvas)) {}

QSet<QUuid> TransformPanelPresenter::targets() const {
    return rundown_.motionTargetIDs();
}

QSet<QUuid> TransformPanelPresenter::movieTargets() const {
    QSet<QUuid> result;
    const auto group = rundown_.currentGroup();
    if (!group) return result;
    const QSet<QUuid> ids = targets();
    for (const Clip& clip : group->clips)
        if (clip.kind == Clip::Kind::movie && ids.contains(clip.id)) result.insert(clip.id);
    return result;
}

double TransformPanelPresenter::canvasWidth() const {
    return canvas_().width;
}

double TransformPanelPresenter::canvasHeight() const {
    return canvas_().height;
}

double TransformPanelPresenter::shownFromStored(Field field, double v, double w, double h) {
    switch (Field::Value(field)) {
        case Field::offsetX:
            return w / 2 + v * w;
        case Field::offsetY:
            return h / 2 - v * h;
        case Field::scale:
        case Field::opacity:
            return v * 100;
        case Field::rotation:
            return v;
    }
    return v;
}

double TransformPanelPresenter::storedFromShown(Field field, double s, double w, double h) {
    switch (Field::Value(field)) {
        case Field::offsetX:
            return w > 0 ? (s - w / 2) / w : 0;
        case Field::offsetY:
            return h > 0 ? (h / 2 - s) / h : 0;
        case Field::scale:
        case Field::opacity:
            return s / 100;
        case Field::rotation:
            return s;
    }
    return s;
}

double TransformPanelPresenter::step(Field field) {
    return field == Field::offsetX || field == Field::offsetY ? 1.0 : 0.5;
}

QString TransformPanelPresenter::valueText(Field field, double shown) {
    switch (Field::Value(field)) {
        case Field::offsetX:
        case Field::offsetY:
            return QString::asprintf("%.0f px", shown);
        case Field::rotation:
            return QString::asprintf("%.1f°", shown);
        case Field::scale:
        case Field::opacity:
            return QString::asprintf("%.0f %%", shown);
    }
    return {};
}

QString TransformPanelPresenter::format(Field field, double shown) {
    return QString::asprintf(field == Field::rotation ? "%.1f" : "%.0f", shown);
}

const char* TransformPanelPresenter::rowLabel(Field field) {
    static const char* const labels[] = {L10N_KEY("X"), L10N_KEY("Y"), L10N_KEY("SIZE"),
                                         L10N_KEY("Rot"), L10N_KEY("Trans")};
    return labels[int(Field::Value(field))];
}

const char* TransformPanelPresenter::sheetTitle(Field field) {
    static const char* const titles[] = {L10N_KEY("X"), L10N_KEY("Y"), L10N_KEY("サイズ"),
                                         L10N_KEY("回転"), L10N_KEY("不透明度")};
    return titles[int(Field::Value(field))];
}

double TransformPanelPresenter::columnMaximum(double centerColumnWidth) {
    return std::max(centerColumnWidth - 12, 72.0);
}

std::optional<double> TransformPanelPresenter::shownValue(Field field) const {
    const auto v = rundown_.commonTransformValue(field, targets());
    if (!v) return std::nullopt;
    return shownFromStored(field, *v, canvasWidth(), canvasHeight());
}

QString TransformPanelPresenter::display(Field field) const {
    if (targets().isEmpty()) return QStringLiteral("—");
    const auto s = shownValue(field);
    if (!s) return localized("ばらばら");
    return valueText(field, *s);
}

QString TransformPanelPresenter::rangeHint(Field field) const {
    switch (Field::Value(field)) {
        case Field::offsetX:
            return localizedFormat("0 〜 %lld px", {FormatArg(canvas_().width)});
        case Field::offsetY:
            return localizedFormat("0 〜 %lld px", {FormatArg(canvas_().height)});
        case Field::scale:
            return localized("5 〜 409600 %");
        case Field::rotation:
            return localized("-180 〜 180°");
        case Field::opacity:
            return localized("0 〜 100 %");
    }
    return {};
}

QString TransformPanelPresenter::loopLabel() const {
    const QSet<QUuid> movies = movieTargets();
    if (movies.isEmpty()) return QStringLiteral("—");
    const auto count = rundown_.commonLoopCount(movies);
    if (!count) return localized("ばらばら");
    if (*count == 0) return QStringLiteral("∞");
    return QString::number(*count);
}

QString TransformPanelPresenter::entryText(Field field) const {
    const auto s = shownValue(field);
    return s ? format(field, *s) : QString();
}

void TransformPanelPresenter::commit(Field field, double shown) {
    rundown_.setTransform(field, storedFromShown(field, shown, canvasWidth(), canvasHeight()),
                          targets());
}

void TransformPanelPresenter::scrub(Field field, double delta) {
    if (const auto s = shownValue(field)) commit(field, *s + delta);
}

bool TransformPanelPresenter::apply(Field field, const QString& text) {
    const auto value = parseEntry(text);
    if (!value) return false;
    commit(field, *value);
    return true;
}

void TransformPanelPresenter::fit() {
    rundown_.fitSmallImagesToCanvas(targets(), canvas_());
}

void TransformPanelPresenter::reset() {
    rundown_.resetTransform(targets());
}

void TransformPanelPresenter::setLoopCount(int count) {
    rundown_.setLoopCount(count, movieTargets());
}

std::optional<double> TransformPanelPresenter::parseEntry(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isTrimmedBlank(text[begin])) ++begin;
    while (end > begin && isTrimmedBlank(text[end - 1])) --end;
    if (begin == end) return std::nullopt;
    QByteArray ascii;
    ascii.reserve(end - begin);
    for (qsizetype i = begin; i < end; ++i) {
        const char16_t c = text[i].unicode();
        // Only printable ASCII can belong to a number; this refuses full-width digits, line
        // breaks and embedded NULs alike.
        if (c <= 0x20 || c >= 0x7f) return std::nullopt;
        ascii.append(char(c));
    }
    const char* start = ascii.constData();
    char* stop = nullptr;
    errno = 0;
    const double value = strtod_l(start, &stop, cLocale());
    if (stop != start + ascii.size() || stop == start) return std::nullopt;
    return value;  // out of range gives ±HUGE_VAL or a denormal, as strtod does
}

}  // namespace velmar
