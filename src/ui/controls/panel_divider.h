#pragma once

#include <QWidget>

#include <functional>
#include <optional>

namespace velmar {

// A thin vertical handle between two columns, dragged sideways to resize a column whose width is
// kept elsewhere. While dragged it writes start width + horizontal travel x direction, clamped
// to the range, on every change; the start is the width when the drag began. It is 5 design
// units wide inside a hit area grown by 3 on each side (the widget is 11 wide), and shows the
// left-right resize cursor.
class PanelDivider : public QWidget {
    Q_OBJECT
  public:
    static constexpr double kHitWidth = 11;  // design units

    struct Binding {
        std::function<double()> get;
        std::function<void(double)> set;
    };

    PanelDivider(Binding width, double lowerBound, double upperBound, double direction,
                 QWidget* parent = nullptr);

    // The width a drag writes: start + translation x direction within [lower, upper].
    static double draggedWidth(double startWidth, double translation, double lowerBound,
                               double upperBound, double direction);

    void setScale(double s);
    bool isHovering() const { return isHovering_; }

    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

  private:
    Binding width_;
    double lowerBound_;
    double upperBound_;
    double direction_;
    double scale_ = 1;
    bool isHovering_ = false;
    bool pressed_ = false;
    double pressX_ = 0;                 // global pixels, so moving the divider does not matter
    std::optional<double> startWidth_;  // set from the first change of a drag to its end
};

}  // namespace velmar
