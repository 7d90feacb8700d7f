#include "output/output_window_controller.h"

#include "canvas/canvas_engine.h"
#include "output/canvas_metal_view.h"
#include "output/cursor_shield_view.h"
#include "platform/power/display_sleep_inhibitor.h"
#include "platform/screens/screen_provider.h"

#include <QGridLayout>
#include <QWidget>

namespace velmar {

const QString OutputWindowController::kSleepInhibitReason =
    QStringLiteral("DOVRINE サブモニター出力中");
const QString OutputWindowController::kControlWindowTitlePrefix = QStringLiteral("DOVRINE — ");

OutputWindowController::OutputWindowController(CanvasEngine& canvas)
    : OutputWindowController(canvas, Options{}) {}

OutputWindowController::OutputWindowController(CanvasEngine& canvas, Options options)
    : canvas_(canvas),
      screens_(options.screens ? *options.screens : ScreenProvider::system()),
      inhibitor_(options.inhibitor ? *options.inhibitor : DisplaySleepInhibitor::system()),
      clock_(options.clock),
      timers_(options.timers) {}

OutputWindowController::~OutputWindowController() {
    close();
}

bool OutputWindowController::open(const QString& screenIdentity) {
    const std::optional<ScreenInfo> screen = screens_.screen(screenIdentity);
    if (!screen) return false;
    for (const VisibleWindow& w : screens_.visibleWindows())
        if (w.screenIdentity == screenIdentity && w.title.startsWith(kControlWindowTitlePrefix))
            return false;  // never cover the control window

    closeWindow();  // a move keeps the displays awake throughout

    auto* window =
        new QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                                 Qt::WindowDoesNotAcceptFocus);
    window->setAttribute(Qt::WA_QuitOnClose, false);
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, Qt::black);
    window->setPalette(palette);
    window->setAutoFillBackground(true);

    CanvasMetalView::Options viewOptions;
    viewOptions.clock = clock_;
    viewOptions.timers = timers_;
    auto* view =
        new CanvasMetalView(canvas_, CanvasEngine::Client::outputWindow, viewOptions, window);
    view->setCheckerSquare(0);
    view->setSolidBackgroundColor(viewBackground());
    view->setFitsCanvas(true);
    auto* shield = new CursorShieldView(window);
    auto* layout = new QGridLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(view, 0, 0);
    layout->addWidget(shield, 0, 0);  // added last: above the picture
    shield->raise();

    if (QScreen* platformScreen = screens_.platformScreen(screenIdentity))
        window->setScreen(platformScreen);
    window->setGeometry(screen->geometry);
    window->show();
    window->raise();

    window_ = window;
    outputView_ = view;
    cursorShield_ = shield;
    currentScreen_ = screenIdentity;

    // A failure to keep the displays awake does not stop the window.
    if (!sleepInhibition_) sleepInhibition_ = inhibitor_.inhibit(kSleepInhibitReason);

    canvas_.setOutputWindowIsOpen(true);
    return true;
}

void OutputWindowController::close() {
    closeWindow();
    if (sleepInhibition_) {
        inhibitor_.release(*sleepInhibition_);
        sleepInhibition_.reset();
    }
}

void OutputWindowController::closeWindow() {
    // Only the close of an open window hands the flag back: a closed controller leaves the
    // canvas alone, so a second close, or the destructor after a close, may come after the
    // canvas engine has gone.
    if (!currentScreen_) return;
    canvas_.setOutputWindowIsOpen(false);
    cursorShield_ = nullptr;
    if (window_) {
        window_->hide();
        delete window_.data();
    }
    window_ = nullptr;
    outputView_ = nullptr;
    currentScreen_.reset();
}

void OutputWindowController::setChromaKey(bool enabled, std::array<float, 3> rgb) {
    chromaKeyEnabled_ = enabled;
    chromaKeyColor_ = rgb;
    if (outputView_) outputView_->setSolidBackgroundColor(viewBackground());
}

std::array<float, 3> OutputWindowController::viewBackground() const {
    return chromaKeyEnabled_ ? chromaKeyColor_ : std::array<float, 3>{0, 0, 0};
}

}  // namespace velmar
