#include "ui/tools/signal_monitor_view.h"

#include "canvas/signal_probe.h"
#include "core/playout_engine.h"
#include "models/localized.h"
#include "sdi/deck_link_controller.h"
#include "ui/tools/signal_monitor_palette.h"
#include "ui/tools/signal_monitor_pane.h"
#include "ui/tools/signal_monitor_readouts.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace velmar {

namespace {

QFont monitorFont(int pixels, QFont::Weight weight, bool monospaced) {
    QFont f(monospaced ? QStringLiteral("DejaVu Sans Mono") : QStringLiteral("Noto Sans CJK JP"));
    f.setPixelSize(pixels);
    f.setWeight(weight);
    return f;
}

void setColour(QLabel* label, const QColor& colour) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
}

}  // namespace

SignalMonitorView::SignalMonitorView(SignalProbe& probe, SignalMonitorContext context,
                                     QWidget* parent)
    : QWidget(parent), probe_(probe), context_(std::move(context)) {
    setObjectName(QStringLiteral("signalMonitorView"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(14, 14, 14, 14);
    outer->setSpacing(10);

    // Status bar: the items, a flexible space and the checkbox; the sample line under them.
    auto* status = new QVBoxLayout;
    status->setSpacing(4);
    auto* firstRow = new QWidget(this);
    // At least 18 high; the items keep their natural size (a taller font makes the row taller
    // rather than cutting the texts).
    firstRow->setMinimumHeight(18);
    auto* items = new QHBoxLayout(firstRow);
    items->setContentsMargins(0, 0, 0, 0);
    items->setSpacing(18);
    for (int i = 0; i < 5; ++i) {
        StatusItem item;
        item.box = new QWidget(firstRow);
        item.box->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        auto* row = new QHBoxLayout(item.box);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(5);
        item.label = new QLabel(item.box);
        item.label->setFont(monitorFont(10, QFont::DemiBold, false));
        setColour(item.label, SignalMonitorPalette::grey(0.66));
        item.value = new QLabel(item.box);
        item.value->setFont(monitorFont(11, QFont::Medium, true));
        item.value->setObjectName(QStringLiteral("statusValue%1").arg(i));
        row->addWidget(item.label);
        row->addWidget(item.value);
        items->addWidget(item.box, 0, Qt::AlignVCenter);
        statusItems_.push_back(item);
    }
    items->addStretch(1);
    highlight_ = new QCheckBox(firstRow);
    highlight_->setObjectName(QStringLiteral("highlightViolations"));
    highlight_->setFont(monitorFont(11, QFont::Normal, false));
    highlight_->setChecked(true);
    QPalette checkPalette = highlight_->palette();
    checkPalette.setColor(QPalette::WindowText, SignalMonitorPalette::grey(0.96));
    highlight_->setPalette(checkPalette);
    items->addWidget(highlight_);
    status->addWidget(firstRow);

    sampleLine_ = new QLabel(this);
    sampleLine_->setObjectName(QStringLiteral("sampleLine"));
    sampleLine_->setFont(monitorFont(10, QFont::Normal, false));
    sampleLine_->setWordWrap(true);
    sampleLine_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    sampleLine_->setFixedHeight(28);
    setColour(sampleLine_, SignalMonitorPalette::grey(0.66));
    status->addWidget(sampleLine_);
    outer->addLayout(status);

    // The snapshot's pictures, scopes and readouts.
    content_ = new QWidget(this);
    auto* rows = new QVBoxLayout(content_);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(10);
    auto* pictures = new QHBoxLayout;
    pictures->setSpacing(10);
    fill_ = new SignalMonitorPane(SignalMonitorPane::Kind::picture, QString(), content_);
    key_ = new SignalMonitorPane(SignalMonitorPane::Kind::picture, QString(), content_);
    fill_->setObjectName(QStringLiteral("fillPane"));
    key_->setObjectName(QStringLiteral("keyPane"));
    pictures->addWidget(fill_, 1);
    pictures->addWidget(key_, 1);
    rows->addLayout(pictures, 1);

    auto* scopesRow = new QWidget(content_);
    scopesRow->setFixedHeight(250);
    auto* scopes = new QHBoxLayout(scopesRow);
    scopes->setContentsMargins(0, 0, 0, 0);
    scopes->setSpacing(10);
    using Graticule = SignalMonitorGeometry::Graticule;
    lumaWaveform_ = new SignalMonitorPane(SignalMonitorPane::Kind::waveform, QString(), scopesRow);
    lumaWaveform_->setGraticule(Graticule::luma);
    keyWaveform_ = new SignalMonitorPane(SignalMonitorPane::Kind::waveform, QString(), scopesRow);
    keyWaveform_->setGraticule(Graticule::key);
    parade_ = new SignalMonitorPane(SignalMonitorPane::Kind::waveform, QString(), scopesRow);
    parade_->setGraticule(Graticule::rgb);
    vectorscope_ =
        new SignalMonitorPane(SignalMonitorPane::Kind::vectorscope, QString(), scopesRow);
    vectorscope_->setFixedWidth(250);
    lumaWaveform_->setObjectName(QStringLiteral("lumaWaveformPane"));
    vectorscope_->setObjectName(QStringLiteral("vectorscopePane"));
    scopes->addWidget(lumaWaveform_, 1);
    scopes->addWidget(keyWaveform_, 1);
    scopes->addWidget(parade_, 1);
    scopes->addWidget(vectorscope_, 0);
    rows->addWidget(scopesRow);

    readouts_ = new SignalMonitorReadouts(content_);
    readouts_->setObjectName(QStringLiteral("readouts"));
    rows->addWidget(readouts_);
    outer->addWidget(content_, 1);

    placeholder_ = new QLabel(this);
    placeholder_->setObjectName(QStringLiteral("placeholder"));
    placeholder_->setAlignment(Qt::AlignCenter);
    setColour(placeholder_, SignalMonitorPalette::grey(0.66));
    outer->addWidget(placeholder_, 1);

    connect(&probe_, &SignalProbe::snapshotChanged, this, &SignalMonitorView::refresh);
    connect(highlight_, &QCheckBox::toggled, this, &SignalMonitorView::refreshPictures);
    if (PlayoutEngine* engine = context_.engine) {
        connect(engine, &PlayoutEngine::canvasChanged, this, &SignalMonitorView::refresh);
        connect(engine, &PlayoutEngine::frameRateChanged, this, &SignalMonitorView::refresh);
        connect(engine, &PlayoutEngine::settingsChanged, this, &SignalMonitorView::refresh);
    }
    if (context_.observe) context_.observe(this, [this] { refresh(); });
    retranslate();
}

// Also the title of the window the view is shown in on its own.
void SignalMonitorView::retranslate() {
    setWindowTitle(localized("信号モニター（SDI フィル / キー）"));
    highlight_->setText(localized("不正画素を強調"));
    fill_->setTitle(localized("FILL（SDI フィル）"));
    key_->setTitle(localized("KEY（SDI キー）"));
    lumaWaveform_->setTitle(localized("FILL 輝度波形（Y'）"));
    keyWaveform_->setTitle(localized("KEY 波形"));
    parade_->setTitle(localized("RGB パレード"));
    vectorscope_->setTitle(localized("ベクトルスコープ（Cb / Cr）"));
    placeholder_->setText(localized("信号を取得しています…"));
    // The status items, the sample line and the readouts are looked up as they are made.
    refresh();
}

void SignalMonitorView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) retranslate();
    QWidget::changeEvent(event);
}

bool SignalMonitorView::highlightViolations() const {
    return highlight_->isChecked();
}

SignalMonitorStatus::Inputs SignalMonitorView::statusInputs() const {
    SignalMonitorStatus::Inputs in;
    if (const auto& snapshot = probe_.snapshot()) in.snapshotSource = snapshot->source;
    in.isDeckLinkRunning = context_.isDeckLinkRunning && context_.isDeckLinkRunning();
    if (DeckLinkController* deckLink = context_.deckLink ? context_.deckLink() : nullptr) {
        in.hasDeckLink = true;
        in.runningBitDepth = deckLink->runningBitDepth();
        if (deckLink->runningMode()) in.runningModeName = deckLink->runningMode()->name();
        in.keyerEnabled = deckLink->keyerEnabled();
        in.droppedFrameCount = deckLink->droppedFrameCount();
    }
    if (context_.sdiBitDepth) in.sdiBitDepth = context_.sdiBitDepth();
    if (context_.useExternalKeyer) in.useExternalKeyer = context_.useExternalKeyer();
    if (const PlayoutEngine* engine = context_.engine) {
        in.canvas = engine->canvas();
        in.frameRate = engine->frameRate();
        in.keyAlphaMode = engine->keyAlphaMode();
    }
    return in;
}

void SignalMonitorView::refresh() {
    const auto items = SignalMonitorStatus::items(statusInputs());
    for (std::size_t i = 0; i < statusItems_.size(); ++i) {
        StatusItem& slot = statusItems_[i];
        slot.box->setVisible(i < items.size());
        if (i >= items.size()) continue;
        slot.label->setText(items[i].label);
        slot.value->setText(items[i].value);
        setColour(slot.value, items[i].colour);
    }
    const auto& snapshot = probe_.snapshot();
    sampleLine_->setVisible(snapshot != nullptr);
    content_->setVisible(snapshot != nullptr);
    placeholder_->setVisible(snapshot == nullptr);
    if (snapshot) sampleLine_->setText(SignalMonitorStatus::sampleLine(*snapshot));
    readouts_->setSnapshot(snapshot);
    refreshPictures();
}

void SignalMonitorView::refreshPictures() {
    const auto& snapshot = probe_.snapshot();
    if (!snapshot) {
        for (SignalMonitorPane* pane :
             {fill_, key_, lumaWaveform_, keyWaveform_, parade_, vectorscope_})
            pane->setImage(QImage());
        return;
    }
    fill_->setImage(snapshot->fill, highlight_->isChecked() ? snapshot->violations : QImage());
    key_->setImage(snapshot->key);
    lumaWaveform_->setImage(snapshot->lumaWaveform);
    keyWaveform_->setImage(snapshot->keyWaveform);
    parade_->setImage(snapshot->parade);
    vectorscope_->setImage(snapshot->vectorscope);
}

void SignalMonitorView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), SignalMonitorPalette::grey(0.02));
}

}  // namespace velmar
