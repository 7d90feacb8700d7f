#include "ui/rundown/sequence_bar.h"

#include "app/app_state.h"
#include "core/playout_engine.h"
#include "core/rundown.h"
#include "ui/controls/aqua.h"
#include "ui/rundown/rundown_style.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <cmath>

namespace velmar {

namespace style = rundown_style;
using G = SequenceBarGeometry;

SequenceBar::SequenceBar(Rundown& rundown, QWidget* parent) : QWidget(parent), rundown_(rundown) {
    auto repaint = [this] { update(); };
    connect(&rundown_, &Rundown::tabsChanged, this, repaint);
    connect(&rundown_, &Rundown::currentTabChanged, this, repaint);
    connect(&rundown_, &Rundown::clipsChanged, this, repaint);
    connect(&rundown_, &Rundown::markersChanged, this, repaint);
    connect(&rundown_, &Rundown::selectionChanged, this, repaint);
}

void SequenceBar::followEngine(const PlayoutEngine& engine) {
    auto program = [this, &engine] {
        setProgramClipID(engine.programClip() ? std::optional(engine.programClip()->id)
                                              : std::nullopt);
    };
    program();
    connect(&engine, &PlayoutEngine::programChanged, this, program);
}

void SequenceBar::followAppState(const AppState& app) {
    setRightToLeft(app.stripRightToLeft());
    connect(&app, &AppState::stripRightToLeftChanged, this, &SequenceBar::setRightToLeft);
}

void SequenceBar::setProgramClipID(std::optional<QUuid> id) {
    programClipID_ = id;
    update();
}

void SequenceBar::setRightToLeft(bool rightToLeft) {
    rightToLeft_ = rightToLeft;
    update();
}

void SequenceBar::setScale(double s) {
    if (!(s > 0)) return;
    scale_ = s;
    updateGeometry();
    update();
}

QSize SequenceBar::sizeHint() const {
    return {static_cast<int>(600 * scale_), static_cast<int>(std::ceil(G::kBarHeight * scale_))};
}

SequenceBarGeometry SequenceBar::geometry() const {
    const auto& groups = rundown_.groups();
    G g;
    g.width = width() / scale_;
    g.hasTab = !groups.isEmpty();
    g.clipCount = g.hasTab ? static_cast<int>(groups[rundown_.safeGroupIndex()].clips.size()) : 0;
    g.rightToLeft = rightToLeft_;
    return g;
}

std::optional<int> SequenceBar::programIndex() const {
    if (!programClipID_ || rundown_.groups().isEmpty()) return std::nullopt;
    const auto at = rundown_.locate(*programClipID_);
    if (!at || at->first != rundown_.safeGroupIndex()) return std::nullopt;
    return at->second;
}

void SequenceBar::paintEvent(QPaintEvent*) {
    const G geo = geometry();
    if (geo.width <= 0) return;
    QPainter p(this);
    p.scale(scale_, scale_);
    const QRectF bar(0, 0, geo.width, G::kBarHeight);
    constexpr double corner = 5;
    style::paintWellBackground(p, bar, corner);
    p.save();
    QPainterPath well;
    well.addRoundedRect(bar, corner, corner);
    p.setClipPath(well);

    const auto& groups = rundown_.groups();
    const ClipGroup* tab = groups.isEmpty() ? nullptr : &groups[rundown_.safeGroupIndex()];
    const bool hasMarkers = tab && !tab->markers.isEmpty();
    const int cursor = geo.cursorIndex(scrubIndex_, tab ? tab->selectedIndex : 0);
    for (const BarSection& s : rundown_.barSections()) {
        const auto span = geo.section(s);
        const QRectF r(span.x, 0, span.width, G::kBarHeight);
        const bool current = G::isCurrent(s, hasMarkers, cursor);
        const QColor base = hasMarkers ? Aqua::sectionColor(s.colorIndex) : style::white(0.34);
        p.fillRect(r, Aqua::glossy(base, current));
        p.fillRect(r, Aqua::shine());
        // The line at the section's end in strip order.
        const double lineX = rightToLeft_ ? r.left() : r.right() - 1;
        p.fillRect(QRectF(lineX, 0, 1, G::kBarHeight), QColor::fromRgbF(0, 0, 0, 0.6));
        if (span.width >= G::kLabelMinWidth) {
            p.setFont(style::font(10, current ? QFont::Bold : QFont::Normal));
            p.setPen(Qt::white);
            const QRectF text = r.adjusted(3, 0, -3, 0);
            const QString name = s.name.value_or(QString());
            // Two lines at most, cut at the tail.
            const QFontMetricsF m(p.font());
            QString shown = name;
            if (m.boundingRect(text, Qt::TextWordWrap, name).height() > 2 * m.lineSpacing())
                shown = m.elidedText(name, Qt::ElideRight, text.width() * 2 - m.averageCharWidth());
            p.drawText(text, Qt::AlignCenter | Qt::TextWordWrap, shown);
        }
    }
    if (const auto mark = geo.programMark(programIndex())) {
        QColor red = style::systemRed();
        red.setAlphaF(0.45);
        p.fillRect(QRectF(mark->column.x, 0, mark->column.width, G::kBarHeight), red);
        p.fillRect(
            QRectF(mark->tickX, G::kBarHeight - G::kTickHeight, G::kTickWidth, G::kTickHeight),
            style::systemRed());
    }
    // The playhead: a triangle over a thin line, centred on x.
    const double x = geo.playheadX(cursor);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor shadow = QColor::fromRgbF(0, 0, 0, 0.8);
    p.fillRect(QRectF(x - 0.5, 7, 1, G::kBarHeight - 7), shadow);
    p.fillRect(QRectF(x - 0.5, 7, 1, G::kBarHeight - 7), style::white(1, 0.9));
    QPainterPath triangle;
    triangle.moveTo(x - 5.5, 0);
    triangle.lineTo(x + 5.5, 0);
    triangle.lineTo(x, 7);
    triangle.closeSubpath();
    p.fillPath(triangle.translated(0, 1), shadow);
    p.fillPath(triangle, Qt::white);
    p.restore();
    style::paintWellBorder(p, bar, corner);
}

void SequenceBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    mouseMoveEvent(event);
}

void SequenceBar::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) return;
    // Follows the pointer live; the engine hears only the release.
    if (const auto index = geometry().scrubIndex(event->position().x() / scale_)) {
        scrubIndex_ = index;
        update();
    }
}

void SequenceBar::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (const auto index = geometry().scrubIndex(event->position().x() / scale_))
        rundown_.setSelectedIndex(*index);
    scrubIndex_.reset();
    update();
}

bool SequenceBar::event(QEvent* e) {
    if (e->type() != QEvent::ToolTip) return QWidget::event(e);
    auto* help = static_cast<QHelpEvent*>(e);
    const G geo = geometry();
    const double x = help->pos().x() / scale_;
    for (const BarSection& s : rundown_.barSections()) {
        const auto span = geo.section(s);
        if (x >= span.x && x < span.x + span.width) {
            // Shown as it stands.
            QToolTip::showText(help->globalPos(),
                               s.name.value_or(QStringLiteral("（マーカーなし）")), this);
            return true;
        }
    }
    QToolTip::hideText();
    return true;
}

}  // namespace velmar
