#pragma once

#include <QString>
#include <QWidget>

#include <optional>

namespace velmar {

// The two-channel sample-peak meter, painted in design units: header, L and R bars of 48
// segments with readouts, and the dB scale. A view of four values set by its owner.
class LevelMeter : public QWidget {
    Q_OBJECT
  public:
    static constexpr double kHeight = 56;  // design units

    explicit LevelMeter(QWidget* parent = nullptr);

    void setLevels(float left, float right, bool isIdle, std::optional<QString> toneLabel);
    void setScale(double s);

    float left() const { return left_; }
    float right() const { return right_; }
    bool isIdle() const { return isIdle_; }

    QSize sizeHint() const override;

  protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void retranslate();
    void paintChannel(QPainter& painter, double y, double width, const char* name, float level);

    float left_ = 0;
    float right_ = 0;
    bool isIdle_ = true;
    std::optional<QString> toneLabel_;
    double scale_ = 1;
};

}  // namespace velmar
