#include "ui/window/app_state_window_model.h"

#include "app/app_state.h"
#include "app/system_monitor.h"

#include <QFileInfo>

namespace velmar {

AppStateWindowModel::AppStateWindowModel(AppState& app, Hooks hooks, QObject* parent)
    : MainWindowModel(parent), app_(app), hooks_(std::move(hooks)) {
    const auto changedSignal = [this] { emit changed(); };
    connect(&app_, &AppState::isProjectLoadingChanged, this, changedSignal);
    connect(&app_, &AppState::projectURLChanged, this, changedSignal);
    connect(&app_, &AppState::durationEditorChanged, this, changedSignal);
    connect(&app_, &AppState::isOutputOpenChanged, this, changedSignal);
    connect(&app_, &AppState::isOBSOpenChanged, this, changedSignal);
    connect(&app_, &AppState::obsTransportChanged, this, changedSignal);
    connect(&app_, &AppState::runningOBSTransportChanged, this, changedSignal);
    connect(&app_, &AppState::chromaKeyEnabledChanged, this, changedSignal);
    connect(&app_, &AppState::backgroundLevelChanged, this, changedSignal);
    connect(&app_, &AppState::centerColumnWidthChanged, this, changedSignal);
    connect(&app_, &AppState::previewBackgroundChanged, this, changedSignal);
    connect(&app_, &AppState::programOnLeftChanged, this, changedSignal);
    connect(&app_, &AppState::isDeckLinkRunningChanged, this, [this] {
        emit changed();
        emit loadChanged();
    });
}

void AppStateWindowModel::watch(SystemMonitor& monitor) {
    hooks_.monitorFigures = [&monitor] {
        SystemLoadPanel::Figures figures;
        figures.cpuPercent = monitor.cpuPercent();
        figures.gpuFramePercent = monitor.gpuFramePercent();
        figures.memoryPercent = monitor.memoryPercent();
        figures.onBattery = monitor.onBattery();
        return figures;
    };
    hooks_.setFrameBudget = [&monitor](double seconds) { monitor.setFrameBudget(seconds); };
    hooks_.startMonitor = [&monitor] { monitor.start(); };
    connect(&monitor, &SystemMonitor::changed, this, &AppStateWindowModel::loadChanged);
}

QString AppStateWindowModel::displayNameFor(const QUrl& projectURL) {
    if (projectURL.isEmpty()) return QStringLiteral("Untitled");
    return QFileInfo(projectURL.path()).completeBaseName();
}

int AppStateWindowModel::backgroundLevel() const {
    return app_.backgroundLevel();
}

QString AppStateWindowModel::projectDisplayName() const {
    if (hooks_.projectDisplayName) return hooks_.projectDisplayName();
    return displayNameFor(app_.projectURL());
}

bool AppStateWindowModel::isProjectLoading() const {
    return app_.isProjectLoading();
}
bool AppStateWindowModel::programOnLeft() const {
    return app_.programOnLeft();
}
double AppStateWindowModel::centerColumnWidth() const {
    return app_.centerColumnWidth();
}
void AppStateWindowModel::setCenterColumnWidth(double width) {
    app_.setCenterColumnWidth(width);
}
PreviewBackground AppStateWindowModel::previewBackground() const {
    return app_.previewBackground();
}
CanvasEngine* AppStateWindowModel::canvasEngine() const {
    return app_.canvasEngine();
}

std::optional<int> AppStateWindowModel::durationEditor() const {
    const auto editor = app_.durationEditor();
    if (!editor) return std::nullopt;
    return AppState::id(*editor);
}

void AppStateWindowModel::closeDurationEditor() {
    app_.setDurationEditor(std::nullopt);
}
bool AppStateWindowModel::isDeckLinkRunning() const {
    return app_.isDeckLinkRunning();
}
bool AppStateWindowModel::isOutputOpen() const {
    return app_.isOutputOpen();
}
bool AppStateWindowModel::isOBSOpen() const {
    return app_.isOBSOpen();
}
OBSTransport AppStateWindowModel::effectiveOBSTransport() const {
    return app_.effectiveOBSTransport();
}
bool AppStateWindowModel::chromaKeyEnabled() const {
    return app_.chromaKeyEnabled();
}
void AppStateWindowModel::setChromaKeyEnabled(bool enabled) {
    app_.setChromaKeyEnabled(enabled);
}
void AppStateWindowModel::startDeckLink() {
    app_.startDeckLink();
}
void AppStateWindowModel::stopDeckLink() {
    app_.stopDeckLink();
}
void AppStateWindowModel::toggleOutput() {
    app_.toggleOutput();
}
void AppStateWindowModel::toggleOBSOutput() {
    app_.toggleOBSOutput();
}

void AppStateWindowModel::presentAddClips(AddPanel panel) {
    if (hooks_.presentAddClips) hooks_.presentAddClips(panel);
}

void AppStateWindowModel::remember(const QList<QUrl>& urls) {
    if (hooks_.remember) hooks_.remember(urls);
}

void AppStateWindowModel::importURLs(const QList<QUrl>& urls) {
    if (hooks_.importURLs) hooks_.importURLs(urls);
}

void AppStateWindowModel::resizeSelectedTransform(double scaleDelta, QSizeF centerShift,
                                                  QSizeF canvasSize) {
    app_.resizeSelectedTransform(scaleDelta, centerShift, canvasSize);
}

SystemLoadPanel::Figures AppStateWindowModel::loadFigures() const {
    SystemLoadPanel::Figures figures;
    if (hooks_.monitorFigures) figures = hooks_.monitorFigures();
    figures.isDeckLinkRunning = app_.isDeckLinkRunning();
    figures.droppedFrames = app_.deckLink()
                                ? std::optional<std::uint64_t>(app_.deckLink()->droppedFrameCount())
                                : std::nullopt;
    figures.pendingVerification = app_.engine().rundown().pendingVerification();
    return figures;
}

void AppStateWindowModel::setFrameBudget(double seconds) {
    if (hooks_.setFrameBudget) hooks_.setFrameBudget(seconds);
}

void AppStateWindowModel::startMonitor() {
    if (hooks_.startMonitor) hooks_.startMonitor();
}

}  // namespace velmar
