#pragma once

#include <QObject>

namespace velmar {

// The program level as the user interface should show it (0 while the program key is off).
// Written by the engine at most 60 times a second during a fade, and at the end points.
class OpacityMeter : public QObject {
    Q_OBJECT
    Q_PROPERTY(double value READ value NOTIFY valueChanged)

  public:
    double value() const { return value_; }
    void setValue(double value) {
        if (value == value_) return;
        value_ = value;
        emit valueChanged(value);
    }

  signals:
    void valueChanged(double value);

  private:
    double value_ = 0;
};

}  // namespace velmar
