#pragma once

#include <QPointF>
#include <QString>
#include <QWidget>

#include <functional>

namespace velmar {

// A compact value row: caption at the left, the caller's formatted value at the right. A click
// opens the caller's exact entry; a horizontal drag (3 design units before it counts) reports
// increments of `step` per design unit of travel, whose sum is always the total translation
// times `step`. The caller owns the value.
class ScrubbableValue : public QWidget {
    Q_OBJECT
  public:
    struct Config {
        QString label;  // a localisation key, looked up when shown
        QString display;
        double step = 1;
        std::function<void(double)> onScrub;
        std::function<void()> onOpen;
        bool isEnabled = true;
        double controlHeight = 26;  // design units
    };

    explicit ScrubbableValue(Config config, QWidget* parent = nullptr);

    void setDisplay(const QString& display);
    void setLabel(const QString& label);
    void setStep(double step) { config_.step = step; }
    // Whether clicks and drags act; the row is dimmed to 0.4 when not.
    void setValueEnabled(bool enabled);
    bool isValueEnabled() const { return config_.isEnabled; }
    void setScale(double s);

    bool isDragging() const { return isDragging_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    void retranslate();
    void endDrag();

    Config config_;
    double scale_ = 1;
    bool pressed_ = false;
    bool dragStarted_ = false;
    QPointF pressPosition_;  // widget pixels
    double accumulated_ = 0;
    bool isDragging_ = false;
};

}  // namespace velmar
