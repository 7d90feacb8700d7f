#include "ui/window/content_view.h"

#include "core/playout_engine.h"
#include "core/rundown.h"
#include "models/localized.h"
#include "platform/base/host_clock.h"
#include "platform/base/timer.h"
#include "ui/controls/background_level.h"
#include "ui/controls/palette.h"
#include "ui/controls/panel_divider.h"
#include "ui/window/control_bar.h"
#include "ui/window/info_bar.h"
#include "ui/window/live_preview_pane.h"
#include "ui/window/main_window_model.h"
#include "ui/window/pane_caption.h"
#include "ui/window/pane_view.h"
#include "ui/window/preview_pane.h"
#include "ui/window/status_bar.h"
#include "ui/window/take_column.h"

#include <QDialog>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEvent>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace velmar {

namespace {

constexpr double kColumnMinimum = 150;
constexpr double kColumnMaximum = 248;
constexpr double kBoxPadding = 7;
constexpr double kTestPatternInset = 22;

std::optional<QString> fileNameOf(const std::optional<Clip>& clip) {
    if (!clip) return std::nullopt;
    return clip->url.fileName();
}

QWidget* build(const ContentView::Slots::Factory& factory, QWidget* parent) {
    if (!factory) return nullptr;
    QWidget* widget = factory(parent);
    if (widget) widget->setParent(parent);
    return widget;
}

}  // namespace

ContentView::ContentView(MainWindowModel& model, PlayoutEngine& engine, Slots views,
                         Options options, QWidget* parent)
    : QWidget(parent), model_(model), engine_(engine), slots_(std::move(views)) {
    HostClock& clock = options.clock ? *options.clock : HostClock::system();
    TimerFactory& timers = options.timers ? *options.timers : TimerFactory::system();
    setAcceptDrops(true);

    surface_ = new QWidget(this);
    infoBar_ = new InfoBar(clock, timers, surface_);
    programPane_ = new LivePreviewPane(QStringLiteral("PROGRAM"), model_.canvasEngine(),
                                       Palette::systemRed(), surface_);
    nextPane_ = new PreviewPane(QStringLiteral("NEXT"), Palette::systemGreen(), surface_);
    nextPane_->onMove = [this](QSizeF translation, QSizeF canvasSize) {
        applyMove(engine_.rundown(), translation, canvasSize);
    };
    nextPane_->onResize = [this](double delta, QSizeF shift, QSizeF canvasSize) {
        model_.resizeSelectedTransform(delta, shift, canvasSize);
    };
    const PanelDivider::Binding width{[this] { return model_.centerColumnWidth(); },
                                      [this](double w) { model_.setCenterColumnWidth(w); }};
    leftDivider_ = new PanelDivider(width, kColumnMinimum, kColumnMaximum, -1, surface_);
    rightDivider_ = new PanelDivider(width, kColumnMinimum, kColumnMaximum, +1, surface_);
    takeColumn_ = new TakeColumn(
        engine_, [this](MainWindowModel::AddPanel panel) { model_.presentAddClips(panel); },
        surface_);
    if (QWidget* motion = build(slots_.motionPanel, takeColumn_))
        takeColumn_->setMotionPanel(motion);
    centralColumnHeight_ = takeColumn_->naturalHeight();
    connect(takeColumn_, &TakeColumn::naturalHeightChanged, this, [this](double height) {
        if (centralColumnHeight_ == height) return;
        centralColumnHeight_ = height;
        relayout();
    });
    controlBar_ = new ControlBar(model_, surface_);
    statusBar_ = new StatusBar(engine_, surface_);
    testPatternCaption_ = new PaneCaption(surface_);
    nextCaption_ = new PaneCaption(surface_);

    timecodePanel_ = build(slots_.timecodePanel, surface_);
    transportBar_ = build(slots_.transportBar, surface_);
    transformPanel_ = build(slots_.transformPanel, surface_);
    keyerBar_ = build(slots_.keyerBar, surface_);
    sequenceBar_ = build(slots_.sequenceBar, surface_);
    tabBar_ = build(slots_.tabBar, surface_);
    clipStrip_ = build(slots_.clipStrip, surface_);
    keyerPanel_ = build(slots_.keyerPanel, surface_);

    connect(&model_, &MainWindowModel::changed, this, &ContentView::refreshModel);
    connect(&model_, &MainWindowModel::loadChanged, this,
            [this] { infoBar_->setLoadFigures(model_.loadFigures()); });

    connect(&engine_, &PlayoutEngine::stateChanged, this, &ContentView::refreshLive);
    connect(&engine_, &PlayoutEngine::keyOutputEnabledChanged, this, &ContentView::refreshLive);
    connect(&engine_.dsk(), &DSKController::isActiveChanged, this, &ContentView::refreshLive);
    connect(&engine_, &PlayoutEngine::testPatternChanged, this, [this] {
        refreshLive();
        refreshCaptions();
    });
    connect(&engine_, &PlayoutEngine::programChanged, this, &ContentView::refreshPrograms);
    connect(&engine_, &PlayoutEngine::canvasChanged, this, [this] {
        refreshPrograms();
        refreshNext();
        statusBar_->refresh();
    });
    connect(&engine_, &PlayoutEngine::frameRateChanged, this, [this] {
        model_.setFrameBudget(frameBudget(engine_.frameRate()));
        statusBar_->refresh();
    });
    connect(&engine_, &PlayoutEngine::nextMediaChanged, this, &ContentView::refreshNext);
    connect(&engine_, &PlayoutEngine::nextScrubImageChanged, this, &ContentView::refreshNext);
    connect(&engine_, &PlayoutEngine::isNextLoadingChanged, this, &ContentView::refreshCaptions);
    connect(&engine_, &PlayoutEngine::lastMessageChanged, statusBar_, &StatusBar::refresh);
    Rundown& rundown = engine_.rundown();
    for (auto signal : {&Rundown::selectionChanged, &Rundown::tabsChanged}) {
        connect(&rundown, signal, this, [this] {
            refreshNext();
            refreshCaptions();
            statusBar_->refresh();
        });
    }
    connect(&rundown, &Rundown::currentTabChanged, this, [this] {
        refreshNext();
        refreshCaptions();
        statusBar_->refresh();
    });
    connect(&rundown, &Rundown::clipsChanged, this, [this] {
        refreshNext();
        refreshCaptions();
        statusBar_->refresh();
    });
    connect(&rundown, &Rundown::pendingVerificationChanged, this,
            [this] { infoBar_->setLoadFigures(model_.loadFigures()); });

    refreshModel();
    refreshPrograms();
    refreshNext();
    refreshCaptions();
    refreshLive();
    infoBar_->setLoadFigures(model_.loadFigures());
}

ContentView::ContentView(MainWindowModel& model, PlayoutEngine& engine, QWidget* parent)
    : ContentView(model, engine, Slots{}, Options{}, parent) {}

ContentView::~ContentView() {
    if (durationSheet_) {
        durationSheet_->disconnect(this);
        delete durationSheet_;
    }
}

double ContentView::frameBudget(const FrameRate& rate) {
    if (rate.frameDuration >= 1) {
        const double fps = double(rate.timeScale) / double(rate.frameDuration);
        if (fps > 0) return 1.0 / fps;
    }
    return 1.0 / 60.0;
}

QString ContentView::windowTitleFor(const QString& projectName) {
    return QStringLiteral("DOVRINE — ") + projectName;
}

QList<QUrl> ContentView::droppedFiles(const QMimeData& data) {
    QList<QUrl> files;
    if (!data.hasUrls()) return files;
    for (const QUrl& url : data.urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty()) files.append(url);
    return files;
}

ContentView::MovedOffsets ContentView::movedOffsets(std::optional<double> commonX,
                                                    std::optional<double> commonY,
                                                    QSizeF translation, QSizeF canvasSize) {
    MovedOffsets moved;
    if (!(canvasSize.width() > 0) || !(canvasSize.height() > 0)) return moved;
    if (commonX) moved.x = *commonX + translation.width() / canvasSize.width();
    // A downward drag lowers the picture: offsets run upward.
    if (commonY) moved.y = *commonY - translation.height() / canvasSize.height();
    return moved;
}

void ContentView::applyMove(Rundown& rundown, QSizeF translation, QSizeF canvasSize) {
    const QSet<QUuid> targets = rundown.motionTargetIDs();
    if (targets.isEmpty()) return;
    const auto x = rundown.commonTransformValue(ClipTransform::Field::offsetX, targets);
    const MovedOffsets movedX = movedOffsets(x, std::nullopt, translation, canvasSize);
    if (movedX.x) rundown.setTransform(ClipTransform::Field::offsetX, *movedX.x, targets);
    // The y offset is read after the x offset has been written.
    const auto y = rundown.commonTransformValue(ClipTransform::Field::offsetY, targets);
    const MovedOffsets movedY = movedOffsets(std::nullopt, y, translation, canvasSize);
    if (movedY.y) rundown.setTransform(ClipTransform::Field::offsetY, *movedY.y, targets);
}

// The minimum of 960 x 540 is only a hint, from which the window takes its own minimum: should a
// window manager still make the window smaller, the surface is scaled down further rather than
// cut off at the window's edge.
QSize ContentView::minimumSizeHint() const {
    return {int(MainLayout::kMinimumWindowWidth), int(MainLayout::kMinimumWindowHeight)};
}

QSize ContentView::sizeHint() const {
    return {1920, 1080};
}

void ContentView::refreshModel() {
    const int level = model_.backgroundLevel();
    if (level != backgroundLevel_) {
        backgroundLevel_ = level;
        update();
    }
    applyTitle();
    infoBar_->setProjectName(model_.projectDisplayName());
    surface_->setEnabled(!model_.isProjectLoading());
    programPane_->setBackground(model_.previewBackground());
    nextPane_->setBackground(model_.previewBackground());
    controlBar_->refresh();
    if (layout_.programOnLeft != model_.programOnLeft() ||
        layout_.centralColumn.width() != model_.centerColumnWidth())
        relayout();
    refreshDurationSheet();
}

void ContentView::applyTitle() {
    const QString title = windowTitleFor(model_.projectDisplayName());
    if (windowTitle() != title) setWindowTitle(title);
    if (window() != this && window()->windowTitle() != title) window()->setWindowTitle(title);
}

void ContentView::refreshPrograms() {
    programPane_->setFilename(fileNameOf(engine_.programClip()));
    programPane_->setMedia(engine_.programMedia());
    programPane_->setCanvas(engine_.canvas());
}

void ContentView::refreshNext() {
    const std::optional<Clip> clip = engine_.rundown().selectedClip();
    nextPane_->setFilename(fileNameOf(clip));
    nextPane_->setMedia(engine_.nextMedia());
    nextPane_->setCanvas(engine_.canvas());
    nextPane_->setTransform(clip ? clip->transform : ClipTransform{});
    nextPane_->setContentAnchor(
        clip ? QPointF(clip->contentAnchorX.value_or(0), clip->contentAnchorY.value_or(0))
             : QPointF());
    nextPane_->setScrubImage(engine_.nextScrubImage());
    nextPane_->setEditable(clip.has_value());
}

void ContentView::refreshCaptions() {
    if (const auto& pattern = engine_.testPattern()) {
        PaneCaption::Style style;
        style.points = 13;
        style.weight = QFont::Black;
        style.text = Qt::black;
        style.capsule = Palette::systemYellow();
        testPatternCaption_->setCaption(
            localizedFormat("TEST PATTERN  %@", {pattern->shortLabel()}), style);
        testPatternCaption_->show();
    } else {
        testPatternCaption_->hide();
    }
    if (engine_.isAtEnd()) {
        nextCaption_->setCaption(
            localized("END"),
            {22, QFont::Black, Palette::withOpacity(Palette::systemGreen(), 0.8), std::nullopt});
        nextCaption_->show();
    } else if (engine_.isNextLoading()) {
        nextCaption_->setCaption(localized("読み込み中…"),
                                 {15, QFont::DemiBold, Palette::white(1, 0.65), std::nullopt});
        nextCaption_->show();
    } else {
        nextCaption_->hide();
    }
    placeCaptions();
}

// The captions hold looked-up texts.
void ContentView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) refreshCaptions();
    QWidget::changeEvent(event);
}

void ContentView::refreshLive() {
    infoBar_->setLive(InfoBar::isLive(engine_.state(), engine_.keyOutputEnabled(),
                                      engine_.dsk().isActive(), engine_.testPattern().has_value()));
}

void ContentView::refreshDurationSheet() {
    const std::optional<int> editor = model_.durationEditor();
    if (editor && !durationSheet_ && slots_.durationSheet) {
        durationSheet_ = slots_.durationSheet(*editor, this);
        if (!durationSheet_) return;
        durationSheet_->setAttribute(Qt::WA_DeleteOnClose);
        durationSheet_->setWindowModality(Qt::WindowModal);
        // Closing the sheet, however it closes, closes the editor; nothing else runs.
        connect(durationSheet_, &QDialog::finished, this, [this] {
            durationSheet_ = nullptr;
            model_.closeDurationEditor();
        });
        durationSheet_->open();
    } else if (!editor && durationSheet_) {
        QDialog* sheet = durationSheet_;
        durationSheet_ = nullptr;
        sheet->disconnect(this);
        sheet->close();
    }
}

void ContentView::placeCaptions() {
    const double s = layout_.s;
    const QRectF program = layout_.programPane();
    const QSizeF pattern = testPatternCaption_->designSize();
    const QRectF patternRect(program.center().x() - pattern.width() / 2,
                             program.top() + kTestPatternInset, pattern.width(), pattern.height());
    testPatternCaption_->setScale(s);
    testPatternCaption_->setGeometry(layout_.toPixels(patternRect));
    const QRectF next = layout_.nextPane();
    const QSizeF caption = nextCaption_->designSize();
    QRectF captionRect(QPointF(), caption);
    captionRect.moveCenter(next.center());
    nextCaption_->setScale(s);
    nextCaption_->setGeometry(layout_.toPixels(captionRect));
}

void ContentView::relayout() {
    MainLayout::Input input;
    input.window = QSizeF(size());
    input.centerColumnWidth = model_.centerColumnWidth();
    input.centralColumnHeight = centralColumnHeight_;
    input.programOnLeft = model_.programOnLeft();
    layout_ = MainLayout::compute(input);
    const double s = layout_.s;
    surface_->setGeometry(rect());

    infoBar_->setWindowScale(s);
    infoBar_->setGeometry(layout_.toPixels(layout_.infoBar));
    programPane_->setScale(s);
    programPane_->setGeometry(layout_.toPixels(layout_.programPane()));
    nextPane_->setScale(s);
    nextPane_->setGeometry(layout_.toPixels(layout_.nextPane()));
    leftDivider_->setScale(s);
    leftDivider_->setGeometry(layout_.toPixels(layout_.leftDivider));
    rightDivider_->setScale(s);
    rightDivider_->setGeometry(layout_.toPixels(layout_.rightDivider));
    takeColumn_->setScale(s);
    takeColumn_->setGeometry(layout_.toPixels(layout_.centralColumn));
    controlBar_->setScale(s);
    controlBar_->setGeometry(layout_.toPixels(layout_.controlBar));
    statusBar_->setScale(s);
    statusBar_->setGeometry(layout_.toPixels(layout_.statusBar));

    // The program controls: timecode panel above the transport bar, in a padded box.
    const QRectF controls =
        layout_.programControls().adjusted(kBoxPadding, kBoxPadding, -kBoxPadding, -kBoxPadding);
    double y = controls.top();
    if (timecodePanel_) {
        const double h = std::min(controls.height(), timecodePanel_->sizeHint().height() / s);
        timecodePanel_->setGeometry(
            layout_.toPixels(QRectF(controls.left(), y, controls.width(), h)));
        y += h + 5;
    }
    if (transportBar_)
        transportBar_->setGeometry(layout_.toPixels(
            QRectF(controls.left(), y, controls.width(), std::max(0.0, controls.bottom() - y))));
    if (transformPanel_) transformPanel_->setGeometry(layout_.toPixels(layout_.transformPanel()));
    if (keyerBar_) keyerBar_->setGeometry(layout_.toPixels(layout_.keyerBar));
    if (sequenceBar_) sequenceBar_->setGeometry(layout_.toPixels(layout_.sequenceBar));
    if (tabBar_) tabBar_->setGeometry(layout_.toPixels(layout_.tabBar));
    if (clipStrip_) clipStrip_->setGeometry(layout_.toPixels(layout_.clipStrip));
    if (keyerPanel_)
        keyerPanel_->setGeometry(layout_.toPixels(
            layout_.keyerPanel.adjusted(kBoxPadding, kBoxPadding, -kBoxPadding, -kBoxPadding)));
    placeCaptions();
    update();
}

void ContentView::resizeEvent(QResizeEvent*) {
    relayout();
}

void ContentView::showEvent(QShowEvent*) {
    if (shownOnce_) return;
    shownOnce_ = true;
    model_.setFrameBudget(frameBudget(engine_.frameRate()));
    model_.startMonitor();
}

void ContentView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), BackgroundLevel::base(model_.backgroundLevel()));
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(layout_.s, layout_.s);
    for (const QRectF& box : {layout_.programControls(), layout_.keyerPanel})
        PaneView::fillRounded(painter, box, 6, Palette::black(0.2));
}

void ContentView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && !model_.isProjectLoading()) event->acceptProposedAction();
}

void ContentView::dropEvent(QDropEvent* event) {
    // The drop is taken whatever it holds; only local files are imported, in one call.
    event->acceptProposedAction();
    if (model_.isProjectLoading()) return;
    const QList<QUrl> files = droppedFiles(*event->mimeData());
    if (files.isEmpty()) return;
    model_.remember(files);
    model_.importURLs(files);
}

}  // namespace velmar
