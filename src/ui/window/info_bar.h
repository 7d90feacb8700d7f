#pragma once

#include "core/playout_engine.h"
#include "ui/window/system_load_panel.h"

#include <QDateTime>
#include <QImage>
#include <QWidget>

#include <memory>

namespace velmar {

class HostClock;
class Timer;
class TimerFactory;
class BrandLogoView;

// The top band of the main window: logo, digital and analogue clock, the ON AIR sign in the
// middle with the project name beside it, and the load figures at the right. It scales its own
// figures by sb = min(max(width / 1150, 0.62), 1.9) of its full width in design units, and one
// 0.5 s timer repaints it (and nothing else) so the clocks advance.
class InfoBar : public QWidget {
    Q_OBJECT
  public:
    static constexpr double kDesignWidth = 1150;
    static constexpr double kTickSeconds = 0.5;

    InfoBar(HostClock& clock, TimerFactory& timers, QWidget* parent = nullptr);
    ~InfoBar() override;

    // The bar's own scale for its full width in design units.
    static double scaleFor(double width);
    // Its height: 90 sb of content plus 6 above and below.
    static double height(double width);
    // Whether ON AIR lights: a program not off with its key on, else the keyer keyed, else a
    // test pattern shown.
    static bool isLive(PlayoutEngine::State state, bool keyOutputEnabled, bool keyerActive,
                       bool testPatternShown);

    void setWindowScale(double s);
    // Each repaints only on a real change.
    void setLive(bool live);
    void setProjectName(const QString& name);
    void setLoadFigures(const SystemLoadPanel::Figures& figures);

    bool live() const { return live_; }
    double measuredWidth() const;
    // Where the sign stands, in the bar's design units.
    QRectF signRect() const;
    quint64 ticks() const { return ticks_; }
    // Whether the drawn layer is kept for the next paint.
    bool hasLayer() const { return !layer_.isNull(); }

  protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void placeLogo();
    QRectF faceRect() const;
    // Everything but the clocks, in design units.
    void paintLayer(QPainter& painter) const;
    QDateTime now() const;

    HostClock& clock_;
    std::unique_ptr<Timer> timer_;
    BrandLogoView* logo_ = nullptr;
    double windowScale_ = 1;
    bool live_ = false;
    QString projectName_;
    QList<SystemLoadPanel::Row> loadRows_;
    quint64 ticks_ = 0;
    // paintLayer() at the widget's pixel size, dropped by every change it shows.
    QImage layer_;
};

}  // namespace velmar
