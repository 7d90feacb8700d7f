#pragma once

#include "app/app_state.h"

#include <QDialog>
#include <QSet>
#include <QUuid>

#include <functional>

class QLabel;

namespace velmar {

class DurationEntryPad;
class PlayoutEngine;

// The window-modal sheet that sets the motion duration of the clip under the cursor or of a set
// of clips at once: a title, a note when every clip of the tab is meant, and the entry pad. The
// targets are read at the moment of the commit. Commit and cancel both end the sheet through
// `close` (the application state clears its open duration editor, which also lowers its
// number-entry flag).
class DurationEditorSheet : public QDialog {
    Q_OBJECT

  public:
    struct Context {
        // The target is the reorder selection, or every clip of the tab (else the cursor clip).
        bool bulk = false;
        // AppState::durationTargets(target).
        std::function<QSet<QUuid>()> targets;
        // Clears AppState::durationEditor.
        std::function<void()> close;
    };

    DurationEditorSheet(PlayoutEngine& engine, Context context, QWidget* parent = nullptr);
    // For the application state's open duration editor.
    DurationEditorSheet(AppState& app, PlayoutEngine& engine, AppState::DurationEditor target,
                        QWidget* parent = nullptr);
    static Context contextFor(AppState& app, AppState::DurationEditor target);

    QString title() const;
    bool showsNote() const;
    DurationEntryPad* pad() const { return pad_; }

  public slots:
    void reject() override;

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void retranslate();
    void refresh();
    void finish(int result);

    PlayoutEngine& engine_;
    Context context_;
    QLabel* title_ = nullptr;
    QLabel* note_ = nullptr;
    DurationEntryPad* pad_ = nullptr;
    bool finished_ = false;
};

}  // namespace velmar
