#pragma once

#include "ui/panels/duration_pad_model.h"

#include <QHash>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QPushButton;

namespace velmar {

// The form for one number of seconds: title, one-line field, range hint, keypad and the clear,
// cancel and apply buttons. It collects and parses the number only (DurationPadModel); the
// receiver of onCommit limits and rounds it. Return in the field commits (only a valid entry),
// Escape cancels. The keypad and buttons never take focus, and each press hands the focus back
// to the field. Built anew for every showing. The title is a localisation key.
class NumberField;

class DurationEntryPad : public QWidget {
    Q_OBJECT

  public:
    struct Range {
        double lower = 0;
        double upper = 0;
    };

    DurationEntryPad(std::optional<double> initialValue, Range range, const QString& title,
                     bool allowsNegative, bool allowsDefault,
                     std::function<void(std::optional<double>)> onCommit,
                     std::function<void()> onCancel, QWidget* parent = nullptr);

    const DurationPadModel& model() const { return model_; }
    void press(const QString& face);
    // The apply rule: hands on a valid entry; does nothing otherwise.
    void commit();
    void cancel();

    NumberField* field() const { return field_; }
    QPushButton* applyButton() const { return apply_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* clearButton() const { return clear_; }
    QPushButton* keyButton(const QString& face) const { return keys_.value(face); }

  protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void retranslate();
    void refresh();

    DurationPadModel model_;
    std::function<void(std::optional<double>)> onCommit_;
    std::function<void()> onCancel_;
    QString titleKey_;
    QLabel* heading_ = nullptr;
    QLabel* note_ = nullptr;
    NumberField* field_ = nullptr;
    QPushButton* apply_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* clear_ = nullptr;
    QHash<QString, QPushButton*> keys_;
    int focusRequest_ = 0;
};

}  // namespace velmar
