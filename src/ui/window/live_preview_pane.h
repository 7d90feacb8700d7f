#pragma once

#include "models/playout_media.h"
#include "models/preview_background.h"
#include "ui/window/pane_view.h"

#include <optional>

namespace velmar {

class CanvasEngine;
class CanvasMetalView;

// The PROGRAM pane: the live composite of the canvas engine for the program-pane consumer,
// hosted in the canvas rectangle over the chosen background. Without a canvas engine the
// rectangle stays black with the notice "CPU の映像合成を用意できません".
class LivePreviewPane : public PaneView {
    Q_OBJECT
  public:
    LivePreviewPane(QString title, CanvasEngine* canvasEngine, QColor accent,
                    QWidget* parent = nullptr);

    void setMedia(const std::optional<PlayoutMedia>& media);
    void setBackground(PreviewBackground background);

    CanvasMetalView* canvasView() const { return view_; }

  protected:
    void paintContent(QPainter& painter, const QRectF& canvasRect) override;
    void canvasRectChanged() override;

  private:
    CanvasMetalView* view_ = nullptr;
    QWidget* border_ = nullptr;  // drawn above view_
    PreviewBackground background_ = PreviewBackground::checker;
};

}  // namespace velmar
