#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QScrollArea;
class QPushButton;
class QVBoxLayout;

namespace velmar {

class PreflightRunner;

// The content of the pre-show check window: heading, explanation, the list of check lines with
// their status symbols, and the buttons: "確認する" (also the Return key), the soak button or,
// while a soak test runs, its orange countdown, and "ログを開く". No control is ever disabled:
// the runner itself ignores a second run or soak.
class PreflightView : public QWidget {
    Q_OBJECT

  public:
    // openLog: shows the operation log (by default the shared log's folder).
    PreflightView(PreflightRunner& runner, std::function<void()> openLog = {},
                  QWidget* parent = nullptr);

    static constexpr int kSoakSeconds = 30;

    // Inspection for tests.
    QPushButton* checkButton() const { return checkButton_; }
    QPushButton* soakButton() const { return soakButton_; }
    QLabel* countdownLabel() const { return countdown_; }
    QPushButton* logButton() const { return logButton_; }
    int rowCount() const;
    // The title and, when present, the detail of a row, joined by a line break.
    QString rowText(int row) const;
    // The row's widget, or null.
    QWidget* rowWidget(int row) const;

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void retranslate();
    void rebuildRows();
    void updateSoakControls();

    PreflightRunner& runner_;
    std::function<void()> openLog_;
    QVBoxLayout* rows_ = nullptr;
    QLabel* heading_ = nullptr;
    QLabel* explanation_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    // A line was added under the others: the list scrolls to its end once its height is known.
    bool followEnd_ = false;
    QPushButton* checkButton_ = nullptr;
    QPushButton* soakButton_ = nullptr;
    QLabel* countdown_ = nullptr;
    QPushButton* logButton_ = nullptr;
};

}  // namespace velmar
