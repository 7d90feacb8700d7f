#pragma once

#include "ui/tools/signal_monitor_geometry.h"

#include <QImage>
#include <QWidget>

namespace velmar {

// One titled black pane of the signal monitor: a picture scaled to fit with nearest-neighbour
// sampling (and an optional overlay placed the same way), a waveform stretched to its plot
// with its graticule, or the vectorscope with its circle, cross and colour targets.
class SignalMonitorPane : public QWidget {
    Q_OBJECT
  public:
    enum class Kind { picture, waveform, vectorscope };

    SignalMonitorPane(Kind kind, const QString& title, QWidget* parent = nullptr);

    // The title, also the pane's accessible name.
    void setTitle(const QString& title);
    const QString& title() const { return title_; }
    void setGraticule(SignalMonitorGeometry::Graticule graticule);
    void setImage(const QImage& image, const QImage& overlay = QImage());

    // The content area below the title, in the pane's coordinates.
    QRect contentRect() const;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void paintPicture(QPainter& p, const QRect& content) const;
    void paintWaveform(QPainter& p, const QRect& content) const;
    void paintVectorscope(QPainter& p, const QRect& content) const;

    Kind kind_;
    QString title_;
    SignalMonitorGeometry::Graticule graticule_ = SignalMonitorGeometry::Graticule::luma;
    QImage image_;
    QImage overlay_;
};

}  // namespace velmar
