#pragma once

#include "ui/window/main_window_model.h"

#include <functional>

namespace velmar {

class AppState;
class SystemMonitor;

// The main window's model over the application state. What the application state does not
// carry itself (the project's display name, lasting file access, media import, the import
// panel and the system monitor) comes through hooks that the application installs; an empty
// hook does nothing, and the display name defaults to the project file's name without its
// extension ("Untitled" for a new project).
class AppStateWindowModel : public MainWindowModel {
    Q_OBJECT
  public:
    struct Hooks {
        std::function<QString()> projectDisplayName;
        std::function<void(const QList<QUrl>&)> remember;
        std::function<void(const QList<QUrl>&)> importURLs;
        std::function<void(AddPanel)> presentAddClips;
        // CPU, GPU, memory and battery figures of the system monitor.
        std::function<SystemLoadPanel::Figures()> monitorFigures;
        std::function<void(double)> setFrameBudget;
        std::function<void()> startMonitor;
    };

    explicit AppStateWindowModel(AppState& app, Hooks hooks = {}, QObject* parent = nullptr);

    // The display name of a project file: its name without the extension, or "Untitled".
    static QString displayNameFor(const QUrl& projectURL);
    // Takes the load figures, the frame budget and the start of sampling from the monitor, and
    // publishes each of its samples.
    void watch(SystemMonitor& monitor);
    // The monitor sampled again.
    void notifyLoadChanged() { emit loadChanged(); }
    void notifyChanged() { emit changed(); }

    int backgroundLevel() const override;
    QString projectDisplayName() const override;
    bool isProjectLoading() const override;
    bool programOnLeft() const override;
    double centerColumnWidth() const override;
    void setCenterColumnWidth(double width) override;
    PreviewBackground previewBackground() const override;
    CanvasEngine* canvasEngine() const override;
    std::optional<int> durationEditor() const override;
    void closeDurationEditor() override;
    bool isDeckLinkRunning() const override;
    bool isOutputOpen() const override;
    bool isOBSOpen() const override;
    OBSTransport effectiveOBSTransport() const override;
    bool chromaKeyEnabled() const override;
    void setChromaKeyEnabled(bool enabled) override;
    void startDeckLink() override;
    void stopDeckLink() override;
    void toggleOutput() override;
    void toggleOBSOutput() override;
    void presentAddClips(AddPanel panel) override;
    void remember(const QList<QUrl>& urls) override;
    void importURLs(const QList<QUrl>& urls) override;
    void resizeSelectedTransform(double scaleDelta, QSizeF centerShift, QSizeF canvasSize) override;
    SystemLoadPanel::Figures loadFigures() const override;
    void setFrameBudget(double seconds) override;
    void startMonitor() override;

  private:
    AppState& app_;
    Hooks hooks_;
};

}  // namespace velmar
