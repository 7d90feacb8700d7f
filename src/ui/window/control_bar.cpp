#include "ui/window/control_bar.h"

#include "models/localized.h"
#include "ui/controls/design_scale.h"
#include "ui/controls/switch_toggle.h"
#include "ui/window/main_window_model.h"

#include <QCheckBox>
#include <QEvent>
#include <QSignalBlocker>

namespace velmar {

namespace {
constexpr double kSpacing = 14;

QCheckBox* makeSwitch(const QString& label, QWidget* parent) {
    auto* toggle = new SwitchToggle(label, parent);
    toggle->setFocusPolicy(Qt::NoFocus);
    return toggle;
}
}  // namespace

ControlBar::ControlBar(MainWindowModel& model, QWidget* parent) : QWidget(parent), model_(model) {
    sdi_ = makeSwitch(QString(), this);
    output_ = makeSwitch(QString(), this);
    obs_ = makeSwitch(QString(), this);
    chromaKey_ = makeSwitch(QString(), this);
    retranslate();

    // The handed-over value is not used: the command runs, then the switch shows the state.
    connect(sdi_, &QCheckBox::toggled, this, [this] {
        if (model_.isDeckLinkRunning())
            model_.stopDeckLink();
        else
            model_.startDeckLink();
        refresh();
    });
    connect(output_, &QCheckBox::toggled, this, [this] {
        model_.toggleOutput();
        refresh();
    });
    connect(obs_, &QCheckBox::toggled, this, [this] {
        model_.toggleOBSOutput();
        refresh();
    });
    connect(chromaKey_, &QCheckBox::toggled, this, [this](bool on) {
        model_.setChromaKeyEnabled(on);
        refresh();
    });
    refresh();
}

QString ControlBar::obsLabel(OBSTransport transport) {
    return transport == OBSTransport::ndi ? QStringLiteral("OBS(NDI)")
                                          : QStringLiteral("OBS(Syphon)");
}

const char* ControlBar::obsHelpKey(OBSTransport transport) {
    return transport == OBSTransport::ndi
               ? L10N_KEY("OBS などへ NDI で透過映像と音声を送る")
               : L10N_KEY("同じ PC の受信アプリへ共有テクスチャで透過映像を送る（音声なし）");
}

void ControlBar::refresh() {
    const QSignalBlocker b1(sdi_), b2(output_), b3(obs_), b4(chromaKey_);
    sdi_->setChecked(model_.isDeckLinkRunning());
    output_->setChecked(model_.isOutputOpen());
    obs_->setChecked(model_.isOBSOpen());
    chromaKey_->setChecked(model_.chromaKeyEnabled());
    const OBSTransport transport = model_.effectiveOBSTransport();
    const QString label = obsLabel(transport);
    if (obs_->text() != label) {
        obs_->setText(label);
        place();
    }
    obs_->setToolTip(localized(obsHelpKey(transport)));
}

void ControlBar::retranslate() {
    sdi_->setText(localized("SDI 出力"));
    output_->setText(localized("サブモニター"));
    chromaKey_->setText(localized("クロマキー"));
    obs_->setToolTip(localized(obsHelpKey(model_.effectiveOBSTransport())));
    place();
}

void ControlBar::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) retranslate();
    QWidget::changeEvent(event);
}

void ControlBar::setScale(double s) {
    scale_ = s;
    for (QCheckBox* toggle : {sdi_, output_, obs_, chromaKey_})
        toggle->setFont(DesignScale::font(11, s));
    place();
}

void ControlBar::resizeEvent(QResizeEvent*) {
    place();
}

void ControlBar::place() {
    int x = 0;
    for (QCheckBox* toggle : {sdi_, output_, obs_, chromaKey_}) {
        const QSize hint = toggle->sizeHint();
        toggle->setGeometry(x, (height() - hint.height()) / 2, hint.width(), hint.height());
        x += hint.width() + int(kSpacing * scale_);
    }
}

}  // namespace velmar
