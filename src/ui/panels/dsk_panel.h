#pragma once

#include <QPointer>
#include <QWidget>

#include <functional>

#include <QFileDialog>
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace velmar {

class AppState;
class DSKController;
class DSKPanelPreview;
class PlayoutEngine;

// The keyer's source panel beside the rundown: what the keyer shows, its place in the folder,
// the file name, on-air state, the loop mode of a movie and the keyer's last error; choosing and
// clearing the source. Everything shown is read from the keyer (DSKPanelPresenter); every
// action calls the keyer or the hooks below.
//
// "素材を選択" offers a file and a folder entry (the toolkit's dialog picks one kind at a
// time) and opens a non-modal dialog, the window staying live. While a dialog is up the button
// raises it instead of opening a second one, so the file-panel flag always has one owner.
class DSKPanel : public QWidget {
    Q_OBJECT

  public:
    struct Hooks {
        // The application state's per-owner flag "an open or save panel is up".
        std::function<void(QObject* owner, bool open)> setFilePanelOpen;
        // Keeps access to the chosen file or folder (MediaAccess::remember).
        std::function<void(const QUrl&)> remember;
    };

    DSKPanel(DSKController& dsk, PlayoutEngine& engine, Hooks hooks, QWidget* parent = nullptr);
    // On the application state's file-panel flag and the shared media access.
    DSKPanel(DSKController& dsk, PlayoutEngine& engine, AppState& app, QWidget* parent = nullptr);
    static Hooks hooksFor(AppState& app);
    ~DSKPanel() override;

    // Name patterns of the files offered: the sorted union of the still and movie extensions.
    // The dialog matches them without regard to case.
    static QStringList nameFilterPatterns();
    // The file dialog's title.
    static QString dialogTitle();

    // Fonts and fixed sizes follow the main window's design scale.
    void setScale(double scale);

    // Opens the dialog for files (folder = false) or for a folder; raises the one already open.
    void selectMedia(bool folder);
    QFileDialog* openDialog() const { return dialog_; }

    QPushButton* chooseButton() const { return choose_; }
    QToolButton* clearButton() const { return clear_; }
    QMenu* chooseMenu() const { return chooseMenu_; }
    QPushButton* loopButton() const { return loop_; }
    QPushButton* endButton() const { return end_; }
    DSKPanelPreview* preview() const { return preview_; }

  protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void retranslate();
    void refresh();
    void dialogFinished(int result);

    DSKController& dsk_;
    PlayoutEngine& engine_;
    Hooks hooks_;
    QPointer<QFileDialog> dialog_;

    QLabel* title_ = nullptr;
    QLabel* status_ = nullptr;
    DSKPanelPreview* preview_ = nullptr;
    QProgressBar* spinner_ = nullptr;
    QLabel* count_ = nullptr;
    QLabel* name_ = nullptr;
    QPushButton* choose_ = nullptr;
    QMenu* chooseMenu_ = nullptr;
    QToolButton* clear_ = nullptr;
    QWidget* loopGroup_ = nullptr;
    QPushButton* loop_ = nullptr;
    QPushButton* end_ = nullptr;
    QLabel* loopText_ = nullptr;
    QLabel* noAudio_ = nullptr;
    QLabel* error_ = nullptr;
    double scale_ = 1.0;
};

}  // namespace velmar
