#include "ui/window/live_preview_pane.h"

#include "models/localized.h"
#include "output/canvas_metal_view.h"
#include "ui/controls/design_scale.h"
#include "ui/controls/palette.h"

#include <QPainter>

namespace velmar {

LivePreviewPane::LivePreviewPane(QString title, CanvasEngine* canvasEngine, QColor accent,
                                 QWidget* parent)
    : PaneView(std::move(title), accent, parent) {
    if (canvasEngine) {
        view_ = new CanvasMetalView(*canvasEngine, CanvasEngine::Client::programPane, this);
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
    setBackground(background_);
}

void LivePreviewPane::paintContent(QPainter& painter, const QRectF& canvasRect) {
    painter.fillRect(canvasRect, Qt::black);
    if (view_) return;
    painter.setFont(DesignScale::font(11, 1));
    painter.setPen(Palette::systemOrange());
    painter.drawText(canvasRect, Qt::AlignCenter, localized("Metal が使えません"));
}

}  // namespace velmar
