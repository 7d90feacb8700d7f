#include "ui/window/live_preview_pane.h"

#include "models/localized.h"
#include "output/canvas_metal_view.h"
#include "ui/controls/design_scale.h"
#include "ui/controls/palette.h"

#include <QPainter>

namespace velmar {

namespace {

// The canvas frame's accent border, a transparent layer over the live view: the view paints
// opaquely over its whole rectangle, so a border drawn by the pane under it would be hidden.
class CanvasBorder : public QWidget {
  public:
    CanvasBorder(QColor color, QWidget* parent) : QWidget(parent), color_(color) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    double lineWidth = 1;

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        PaneView::frameRect(painter, QRectF(rect()), lineWidth, color_);
    }

  private:
    QColor color_;
};

}  // namespace

LivePreviewPane::LivePreviewPane(QString title, CanvasEngine* canvasEngine, QColor accent,
                                 QWidget* parent)
    : PaneView(std::move(title), accent, parent) {
    if (canvasEngine) {
        view_ = new CanvasMetalView(*canvasEngine, CanvasEngine::Client::programPane, this);
        border_ = new CanvasBorder(Palette::withOpacity(accent, 0.6), this);
        setBackground(background_);
        canvasRectChanged();
    }
}

void LivePreviewPane::setMedia(const std::optional<PlayoutMedia>& media) {
    setShowsMovieBadge(media && media->isMovie());
}

void LivePreviewPane::setBackground(PreviewBackground background) {
    background_ = background;
    if (!view_) return;
    view_->setCheckerSquare(background == PreviewBackground::checker ? 10 * scale() : 0);
    view_->setSolidBackgroundColor({0, 0, 0});
}

void LivePreviewPane::canvasRectChanged() {
    if (!view_) return;
    const QRectF rect = canvasRect();
    const QRectF pixels(rect.topLeft() * scale(), rect.size() * scale());
    view_->setGeometry(pixels.toAlignedRect());
    view_->setVisible(!rect.isEmpty());
    auto* border = static_cast<CanvasBorder*>(border_);
    border->lineWidth = scale();
    border->setGeometry(view_->geometry());
    border->setVisible(!rect.isEmpty());
    border->raise();
    // The live view and its border are cut at the box's rounded corners like every pane's
    // picture; a view that reaches no corner is left unmasked.
    const QRegion kept = canvasBoxRegion().translated(-view_->pos()) & QRegion(view_->rect());
    if (kept == QRegion(view_->rect())) {
        view_->clearMask();
        border->clearMask();
    } else {
        view_->setMask(kept);
        border->setMask(kept);
    }
    setBackground(background_);
}

void LivePreviewPane::paintContent(QPainter& painter, const QRectF& canvasRect) {
    painter.fillRect(canvasRect, Qt::black);
    if (view_) return;
    painter.setFont(DesignScale::font(11, 1));
    painter.setPen(Palette::systemOrange());
    painter.drawText(canvasRect, Qt::AlignCenter, localized("CPU の映像合成を用意できません"));
}

}  // namespace velmar
