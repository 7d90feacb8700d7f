#pragma once

#include "models/canvas_format.h"
#include "ui/panels/transform_panel_presenter.h"

#include <QWidget>

#include <array>
#include <functional>
#include <optional>

class QDialog;
class QPushButton;
class QToolButton;

namespace velmar {

class AppState;
class NumberField;
class Rundown;
class ScrubbableValue;

// The LAYOUT panel: position, size, rotation and opacity of the motion targets as scrubbable
// values, FIT, Reset and the loop menu, and a window-modal entry sheet per value. The entry
// flag is set per owner (this panel), so closing this sheet never clears another entry's flag.
class TransformPanel : public QWidget {
    Q_OBJECT
  public:
    using Field = ClipTransform::Field;

    struct Bindings {
        Rundown* rundown = nullptr;
        std::function<CanvasFormat()> canvas;
        std::function<double()> centerColumnWidth;
        std::function<void(QObject* owner, bool open)> setNumberEntryOpen;
    };

    TransformPanel(Bindings bindings, QWidget* parent = nullptr);
    // Bound to the application state: its engine's rundown and canvas, the centre column width
    // and the per-owner number-entry flag; follows their changes.
    explicit TransformPanel(AppState& app, QWidget* parent = nullptr);
    ~TransformPanel() override;

    void setScale(double s);
    // Reads the targets and values again.
    void refresh();

    TransformPanelPresenter& presenter() { return presenter_; }
    ScrubbableValue* valueRow(Field field) const { return rows_[int(Field::Value(field))]; }
    QPushButton* fitButton() const { return fit_; }
    QPushButton* resetButton() const { return reset_; }
    QToolButton* loopButton() const { return loop_; }
    // The open entry sheet and its field, or null.
    QDialog* entrySheet() const { return sheet_; }
    NumberField* entryField() const { return entryField_; }
    std::optional<Field> editing() const { return editing_; }

    // Opens the entry sheet of a field (a click on its value row).
    void openEntry(Field field);

    QSize sizeHint() const override;

  protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void retranslate();
    void closeEntry(bool apply);
    void layoutChildren();

    Bindings bindings_;
    TransformPanelPresenter presenter_;
    std::array<ScrubbableValue*, 5> rows_{};
    QPushButton* fit_;
    QPushButton* reset_;
    QToolButton* loop_;
    QDialog* sheet_ = nullptr;
    NumberField* entryField_ = nullptr;
    std::optional<Field> editing_;
    QString entryText_;
    double scale_ = 1;
};

}  // namespace velmar
