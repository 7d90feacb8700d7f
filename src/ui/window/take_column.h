#pragma once

#include "ui/window/main_window_model.h"

#include <QWidget>

#include <functional>

class QLabel;
class QMenu;
class QPushButton;

namespace velmar {

class PlayoutEngine;

// The narrow column between the panes: the import button, the "TRANSITION" heading, the NEXT,
// CUT and AUTO TRANS buttons (the mouse twins of Return, V and Space, calling the same engine
// operations) and the motion panel under them. The buttons take no keyboard focus, so Space and
// Return always reach the keyboard control surface. Every label fills the column's width and is
// at least 28 design units high, 5 apart.
class TakeColumn : public QWidget {
    Q_OBJECT
  public:
    static constexpr double kButtonHeight = 28;
    static constexpr double kHeadingHeight = 30;
    static constexpr double kSpacing = 5;

    // The import button offers the stills-and-movies panel and the folder panel in a menu.
    TakeColumn(PlayoutEngine& engine,
               std::function<void(MainWindowModel::AddPanel)> presentAddClips,
               QWidget* parent = nullptr);

    // The motion panel under the take buttons (owned from then on); may stay empty.
    void setMotionPanel(QWidget* panel);
    void setScale(double s);
    // The column's natural height in design units.
    double naturalHeight() const;

    QPushButton* importButton() const { return import_; }
    QMenu* importMenu() const { return importMenu_; }
    QPushButton* nextButton() const { return next_; }
    QPushButton* cutButton() const { return cut_; }
    QPushButton* autoTransButton() const { return autoTrans_; }

  signals:
    void naturalHeightChanged(double height);

  protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void retranslate();
    void place();
    double motionPanelHeight() const;

    QPushButton* import_ = nullptr;
    QMenu* importMenu_ = nullptr;
    QLabel* heading_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* cut_ = nullptr;
    QPushButton* autoTrans_ = nullptr;
    QWidget* motionPanel_ = nullptr;
    double scale_ = 1;
    double lastHeight_ = -1;
};

}  // namespace velmar
