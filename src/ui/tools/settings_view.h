#pragma once

#include "models/playout_project.h"
#include "ui/tools/settings_presenter.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace velmar {

class AppState;
class AutosaveStore;
class LanguageSettings;
class PlayoutEngine;
class SettingsCustomFormatEditor;

// The settings window's form, 460 wide, in nine sections: "出力", "サブモニター", "OBS",
// "SDI 出力", "送出", "自動保存", "テストパターン", "アルファ", "表示". Every control shows a
// published setting of the application state, the engine or the language choice and writes an
// operator's change through its setter; the form itself stores nothing. Controls are written
// only from the operator's own actions (activated, clicked), never while the form updates
// itself, so showing the form changes no setting.
//
// Showing the form marks the settings open, scans the SDI devices and the screens and reloads
// the autosave fields; hiding it clears the mark.
class SettingsView : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kWidth = 460;

    // What the form uses beside the application state; standard() gives the process's own.
    struct Services {
        AutosaveStore* autosave = nullptr;
        LanguageSettings* language = nullptr;
        SettingsPresenter::ModeQuery modes;
        std::function<bool()> isSandboxed;
        // The project the autosave is written with after a folder change.
        std::function<PlayoutProject()> currentProject;
        // A colour without opacity; nothing when cancelled.
        std::function<std::optional<QColor>(const QColor& current, QWidget* parent)> chooseColor;
        // A folder (directories only, may create); nothing when cancelled.
        std::function<std::optional<QString>(const QString& start, const QString& message,
                                             QWidget* parent)>
            chooseFolder;
        // A modal warning with one button.
        std::function<void(const QString& message, const QString& informative,
                           const QString& button, QWidget* parent)>
            warn;

        static Services standard();
    };

    SettingsView(AppState& app, Services services, QWidget* parent = nullptr);
    ~SettingsView() override;

    // ---- The form's operations ---------------------------------------------------------------
    // Run when the form is shown: marks the settings open, scans the SDI devices and the
    // screens, reloads the autosave fields.
    void appear();
    QList<CanvasFormat> formatOptions() const;
    void refreshAutosaveSettings();
    std::optional<QString> modeSummary();
    void chooseAutosaveFolder();
    void changeAutosaveFolder(const std::optional<QString>& folder);
    // The custom editor's apply: the typed size goes to the engine, unless the SDI output runs.
    void applyCustomFormat(const QString& width, const QString& height);

    // ---- View state -------------------------------------------------------------------------
    int autosaveIntervalSeconds() const { return autosaveIntervalSeconds_; }
    const QString& autosaveDirectoryPath() const { return autosaveDirectoryPath_; }
    bool autosaveLocationUnavailable() const { return autosaveLocationUnavailable_; }
    bool showCustomFormat() const;
    SettingsCustomFormatEditor* customFormatEditor() const { return editor_; }
    const SettingsPresenter& presenter() const { return presenter_; }
    // Section headers in order.
    QStringList sectionHeaders() const;

  protected:
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void build();
    void buildOutput(QVBoxLayout* form);
    void buildSubMonitor(QVBoxLayout* form);
    void buildOBS(QVBoxLayout* form);
    void buildSDI(QVBoxLayout* form);
    void buildPlayout(QVBoxLayout* form);
    void buildAutosave(QVBoxLayout* form);
    void buildTestPattern(QVBoxLayout* form);
    void buildAlpha(QVBoxLayout* form);
    void buildDisplay(QVBoxLayout* form);
    QVBoxLayout* section(QVBoxLayout* form, const char* header);
    QLabel* note(const char* key, QWidget* parent);
    void translate(std::function<void()> apply);
    void retranslate();
    void sync();
    void syncSummary();
    void syncPath();
    void fitHeight();
    void writeCabinet(SettingsPresenter::CabinetSide side, QLineEdit* field);

    AppState& app_;
    PlayoutEngine& engine_;
    Services services_;
    SettingsPresenter presenter_;
    std::vector<std::function<void()>> retranslators_;
    QList<QGroupBox*> sections_;

    int autosaveIntervalSeconds_ = 30;
    QString autosaveDirectoryPath_;
    bool autosaveLocationUnavailable_ = false;

    bool appearing_ = false;
    bool fitPending_ = false;
    QList<CanvasFormat> shownFormats_;
    std::optional<QString> shownPath_;
    QComboBox* format_ = nullptr;
    QComboBox* frameRate_ = nullptr;
    QPushButton* custom_ = nullptr;
    SettingsCustomFormatEditor* editor_ = nullptr;
    QComboBox* screen_ = nullptr;
    QLabel* noScreen_ = nullptr;
    QPushButton* colour_ = nullptr;
    QWidget* transportRow_ = nullptr;
    QButtonGroup* transport_ = nullptr;
    QLabel* transportText_ = nullptr;
    QComboBox* device_ = nullptr;
    QPushButton* rescan_ = nullptr;
    QComboBox* depth_ = nullptr;
    QComboBox* keyAlpha_ = nullptr;
    QCheckBox* embed_ = nullptr;
    QCheckBox* mute_ = nullptr;
    QCheckBox* keyer_ = nullptr;
    QLabel* summary_ = nullptr;
    QCheckBox* autoAdvance_ = nullptr;
    QCheckBox* audio_ = nullptr;
    QComboBox* interval_ = nullptr;
    QLabel* path_ = nullptr;
    QPushButton* resetFolder_ = nullptr;
    QLabel* unavailable_ = nullptr;
    QLineEdit* cabinetWidth_ = nullptr;
    QLineEdit* cabinetHeight_ = nullptr;
    QCheckBox* unpremultiply_ = nullptr;
    QComboBox* language_ = nullptr;
    QButtonGroup* background_ = nullptr;
    QComboBox* programOnLeft_ = nullptr;
    QComboBox* strip_ = nullptr;
    QButtonGroup* previewBackground_ = nullptr;
    QCheckBox* reload_ = nullptr;
};

}  // namespace velmar
