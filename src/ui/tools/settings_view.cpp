#include "ui/tools/settings_view.h"

#include "app/app_state.h"
#include "core/autosave_store.h"
#include "core/media_access.h"
#include "models/language_settings.h"
#include "models/localized.h"
#include "platform/base/toolkit_dialog_state.h"
#include "platform/base/user_defaults.h"
#include "sdi/deck_link_controller.h"
#include "ui/controls/palette.h"
#include "ui/tools/settings_custom_format_editor.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPen>
#include <QPushButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QVBoxLayout>

namespace velmar {

namespace {

constexpr int kNotePointSize = 11;
// The notes under the controls, each one literal so that the translation check finds it whole.
// clang-format off
constexpr const char* kNote0 = L10N_KEY("カスタムサイズは SDI の規格に無いため、SDI 出力では使えません。画面のプレビューだけで使う場合に限ります。");
constexpr const char* kNote1 = L10N_KEY("操作画面以外のディスプレイが見つかりません");
constexpr const char* kNote2 = L10N_KEY("SDI 出力とは独立しています。同時に出せます。クロマキーをONにした場合だけ、透明部分の下地がここで設定した色になります。");
constexpr const char* kNote3 = L10N_KEY("SDIまたはサブモニター同時出力時は、OBS 出力を最大1080p・半分のフレームレート（59.94p なら 29.97p）に抑えて送出を優先します。出力中に送り方を変えると、新しい送り方で開き直します。");
constexpr const char* kNote4 = L10N_KEY("10bit（フィル＋キー）は Ay10 で両方の信号を 10bit 出力します。対応機器・モードでのみ選べます。10bit（フィルのみ）は v210 でキーを出しません。合成元の BGRA は 8bit です。SDI 出力中は変えられません。");
constexpr const char* kNote5 = L10N_KEY("スイッチャー側のキー設定に合わせます。合っていないと透過の縁に黒フチや滲みが出ます。プリマルチプライドはフェード中にフィル信号そのものが暗くなります（合成結果は正しくなります）。フィルを触らせたくない場合はストレートを選んでください。");
constexpr const char* kNote6 = L10N_KEY("PROGRAM の音声と基準信号を 48 kHz・2ch で SDI に乗せます。映像フレームと同じ時刻で予約するので、長時間でも音と絵の間隔は広がりません。フェーダーは SDI にも掛かります。このコンピュータのスピーカーから出さない設定にすると、SDI 出力を開始した時点で音の出口が SDI に切り替わり、止めるとこのコンピュータに戻ります。");
constexpr const char* kNote7 = L10N_KEY("8bit 出力時の外部キーヤー設定です。10bit（フィル＋キー）では自動的に有効にします。");
constexpr const char* kNote8 = L10N_KEY("SDI 出力を止めているときは、音声は Linux の既定の出力デバイスへ流れます。SDI 出力中の音声は「SDI 出力」の設定に従います。");
constexpr const char* kNote9 = L10N_KEY("選んだフォルダを利用できないため、標準の場所に保存しています。");
constexpr const char* kNote10 = L10N_KEY("正常終了すると復帰用の自動保存ファイルは削除されます。");
constexpr const char* kNote11 = L10N_KEY("メニューの「テストパターン」から選びます。送出中でもすぐ出力が差し替わり、もう一度選ぶか Ctrl+Shift+T・ESC で元の絵に戻ります。");
constexpr const char* kNote12 = L10N_KEY("透過動画の縁に黒フチや白フチが出るときに切り替えます。静止画は常に正しく処理されるので影響しません。フェードはキーだけを落とすので、フィルの輝度は変わりません。");
constexpr const char* kNote14 = L10N_KEY("右 → 左では 1 枚目が右端になり、次の素材は左に並びます。マーカー帯も同じ向きになります。→ キーで次の素材、← キーで前の素材です（並びの向きには関係ありません）。");
constexpr const char* kNote15 = L10N_KEY("外部アプリで保存した変更をサムネイルとNEXTへ反映します。ON AIR中のPROGRAMは変更しません。");
// clang-format on
const QString kNDIAddress = QStringLiteral("https://ndi.video");
const QString kNDILabel = QStringLiteral("ndi.video");

QFont pointFont(QFont font, int points) {
    font.setPointSize(points);
    return font;
}

void secondaryStyle(QLabel* label, int points) {
    label->setFont(pointFont(label->font(), points));
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, palette.color(QPalette::PlaceholderText));
    label->setPalette(palette);
}

// Fills a picker with the labels when they differ from what it shows and selects `row`
// (-1: none), without telling anyone.
void showRows(QComboBox* box, const QStringList& labels, int row) {
    const QSignalBlocker block(box);
    QStringList current;
    for (int i = 0; i < box->count(); ++i) current << box->itemText(i);
    if (current != labels) {
        box->clear();
        for (int i = 0; i < labels.size(); ++i) box->addItem(labels[i], i);
    }
    box->setCurrentIndex(row);
}

template <typename T>
QStringList labelsOf(const QList<SettingsPresenter::Option<T>>& options) {
    QStringList labels;
    for (const auto& o : options) labels << o.label;
    return labels;
}

template <typename T>
int rowOf(const QList<SettingsPresenter::Option<T>>& options, const T& value) {
    for (int i = 0; i < options.size(); ++i) {
        if (options[i].value == value) return i;
    }
    return -1;
}

// One button of a row of exclusive choices. The style draws a chosen (checked) button only a
// shade darker than the others, which is hard to tell apart in the dark palette: the chosen one
// is filled with the selection colour instead (drawn here: the style would lighten a dark
// fill), its text drawn by the style in the selection's text colour. Because the chosen one is
// not drawn by the style, neither is the style's focus mark: a button that has the keyboard
// focus gets a ring of its own, in a white that stands out on the selection blue as on the grey.
class SegmentButton : public QPushButton {
  public:
    SegmentButton(const QString& text, QWidget* parent) : QPushButton(text, parent) {
        setCheckable(true);
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        if (isChecked())
            paintChosen();
        else
            QPushButton::paintEvent(event);
        QStyleOptionButton option;
        initStyleOption(&option);
        // Only focus reached from the keyboard, as the style shows it: not after a click.
        const QStyle::State keyboardFocus =
            QStyle::State_HasFocus | QStyle::State_KeyboardFocusChange;
        if ((option.state & keyboardFocus) != keyboardFocus) return;
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(Palette::primaryText(), kFocusRingWidth));
        painter.setBrush(Qt::NoBrush);
        const qreal inset = kFocusRingWidth / 2.0;
        painter.drawRoundedRect(QRectF(rect()).adjusted(inset, inset, -inset, -inset), 3, 3);
    }

  private:
    static constexpr int kFocusRingWidth = 2;

    void paintChosen() {
        const QPalette::ColorGroup group = isEnabled() ? QPalette::Active : QPalette::Disabled;
        const QColor fill = palette().color(group, QPalette::Highlight);
        QStylePainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(fill.darker(130));
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(rect()).adjusted(1.5, 1.5, -1.5, -1.5), 2, 2);
        QStyleOptionButton option;
        initStyleOption(&option);
        option.palette.setColor(QPalette::ButtonText,
                                palette().color(group, QPalette::HighlightedText));
        painter.drawControl(QStyle::CE_PushButtonLabel, option);
    }
};

void check(QButtonGroup* group, int id) {
    const QSignalBlocker block(group);
    if (QAbstractButton* button = group->button(id)) button->setChecked(true);
}

void check(QCheckBox* box, bool value) {
    const QSignalBlocker block(box);
    box->setChecked(value);
}

}  // namespace

SettingsView::Services SettingsView::Services::standard() {
    Services s;
    s.autosave = &AutosaveStore::shared();
    s.language = &LanguageSettings::shared();
    s.modes = [](long long device, SDIBitDepth depth, bool keyer) {
        return DeckLinkController::supportedModes(device, depth, keyer);
    };
    s.isSandboxed = [] { return MediaAccess::isSandboxed(); };
    s.chooseColor = [](const QColor& current, QWidget* parent) -> std::optional<QColor> {
        // QColorDialog::getColor's own steps, with a dialog that keeps its state usable.
        ToolkitDialog<QColorDialog> dialog(parent);
        dialog.setCurrentColor(current);
        dialog.exec();
        const QColor chosen = dialog.selectedColor();
        if (!chosen.isValid()) return std::nullopt;
        return chosen;
    };
    s.chooseFolder = [](const QString& start, const QString& message,
                        QWidget* parent) -> std::optional<QString> {
        ToolkitDialog<QFileDialog> dialog(parent, message, start);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
        dialog.setLabelText(QFileDialog::LookIn, message);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return std::nullopt;
        return dialog.selectedFiles().first();
    };
    s.warn = [](const QString& message, const QString& informative, const QString& button,
                QWidget* parent) {
        QMessageBox box(parent);
        box.setIcon(QMessageBox::Warning);
        box.setText(message);
        box.setInformativeText(informative);
        box.addButton(button, QMessageBox::AcceptRole);
        box.exec();
    };
    return s;
}

SettingsView::SettingsView(AppState& app, Services services, QWidget* parent)
    : QWidget(parent),
      app_(app),
      engine_(app.engine()),
      services_(std::move(services)),
      presenter_(services_.modes) {
    if (!services_.autosave) services_.autosave = &AutosaveStore::shared();
    if (!services_.language) services_.language = &LanguageSettings::shared();
    setObjectName(QStringLiteral("settingsForm"));
    setFixedWidth(kWidth);
    build();
    // A picker takes the width of its longest row whenever its rows change, not only when first
    // shown: a language switch writes every row anew (retranslate, then sync), and the rows of
    // the new language must not be cut to the width of the old.
    for (QComboBox* box : findChildren<QComboBox*>())
        box->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    retranslate();
    sync();

    const auto resync = [this] { sync(); };
    for (const auto signal :
         {&AppState::isDeckLinkRunningChanged, &AppState::isOutputOpenChanged,
          &AppState::useExternalKeyerChanged, &AppState::sdiEmbedAudioChanged,
          &AppState::sdiMutesLocalAudioChanged, &AppState::programOnLeftChanged,
          &AppState::stripRightToLeftChanged, &AppState::reloadMediaOnActivationChanged})
        connect(&app_, signal, this, resync);
    connect(&app_, &AppState::availableDeckLinkDevicesChanged, this, [this] {
        presenter_.forgetModes();
        sync();
    });
    connect(&app_, &AppState::availableScreensChanged, this, resync);
    connect(&app_, &AppState::selectedDeckLinkIndexChanged, this, resync);
    connect(&app_, &AppState::selectedScreenIndexChanged, this, resync);
    connect(&app_, &AppState::sdiBitDepthChanged, this, resync);
    connect(&app_, &AppState::chromaKeyColorChanged, this, resync);
    connect(&app_, &AppState::obsTransportChanged, this, resync);
    connect(&app_, &AppState::backgroundLevelChanged, this, resync);
    connect(&app_, &AppState::previewBackgroundChanged, this, resync);
    connect(&app_, &AppState::ledCabinetChanged, this, resync);
    for (const auto signal : {&PlayoutEngine::canvasChanged, &PlayoutEngine::frameRateChanged,
                              &PlayoutEngine::settingsChanged})
        connect(&engine_, signal, this, resync);
    connect(&engine_, &PlayoutEngine::stateChanged, this, resync);
}

void SettingsView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) {
        retranslate();
        sync();
    }
    QWidget::changeEvent(event);
}

SettingsView::~SettingsView() {
    // A form that goes while shown sees no hide event of its own.
    if (isVisible()) app_.setIsSettingsOpen(false);
}

// ---- Layout ------------------------------------------------------------------------------------

void SettingsView::build() {
    auto* form = new QVBoxLayout(this);
    form->setContentsMargins(0, 8, 0, 8);
    buildOutput(form);
    buildSubMonitor(form);
    buildOBS(form);
    buildSDI(form);
    buildPlayout(form);
    buildAutosave(form);
    buildTestPattern(form);
    buildAlpha(form);
    buildDisplay(form);
    form->addStretch();
}

QVBoxLayout* SettingsView::section(QVBoxLayout* form, const char* header) {
    auto* box = new QGroupBox(this);
    box->setObjectName(QString::fromUtf8(header));
    translate([box, header] { box->setTitle(localized(header)); });
    sections_ << box;
    form->addWidget(box);
    return new QVBoxLayout(box);
}

QLabel* SettingsView::note(const char* key, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setWordWrap(true);
    secondaryStyle(label, kNotePointSize);
    translate([label, key] { label->setText(localized(key)); });
    return label;
}

void SettingsView::translate(std::function<void()> apply) {
    retranslators_.push_back(std::move(apply));
}

template <typename Widget>
static Widget* named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromUtf8(name));
    return widget;
}

// A row of a text and a control.
static QHBoxLayout* labelled(QVBoxLayout* into, QLabel* label, QWidget* control) {
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addStretch();
    row->addWidget(control);
    into->addLayout(row);
    return row;
}

void SettingsView::buildOutput(QVBoxLayout* form) {
    QVBoxLayout* s = section(form, L10N_KEY("出力"));
    QWidget* box = sections_.last();
    auto* formatLabel = new QLabel(box);
    auto* rateLabel = new QLabel(box);
    format_ = named(new QComboBox(box), "format");
    frameRate_ = named(new QComboBox(box), "frameRate");
    custom_ = named(new QPushButton(box), "custom");
    translate([=, this] {
        formatLabel->setText(localized("フォーマット"));
        rateLabel->setText(localized("フレームレート"));
        custom_->setText(localized("カスタム…"));
    });
    labelled(s, formatLabel, format_);
    labelled(s, rateLabel, frameRate_);
    auto* customRow = new QHBoxLayout;
    customRow->addStretch();
    customRow->addWidget(custom_);
    s->addLayout(customRow);
    s->addWidget(note(kNote0, box));
    editor_ = new SettingsCustomFormatEditor(this);
    editor_->onApply = [this](const QString& w, const QString& h) { applyCustomFormat(w, h); };

    connect(format_, &QComboBox::activated, this, [this](int row) {
        if (row >= 0 && row < shownFormats_.size()) engine_.setCanvas(shownFormats_[row]);
    });
    connect(frameRate_, &QComboBox::activated, this, [this](int row) {
        if (row >= 0 && row < FrameRate::presets().size())
            engine_.setFrameRate(FrameRate::presets()[row]);
    });
    connect(custom_, &QPushButton::clicked, this, [this] { editor_->popUp(custom_); });
}

void SettingsView::buildSubMonitor(QVBoxLayout* form) {
    QVBoxLayout* s = section(form, L10N_KEY("サブモニター"));
    QWidget* box = sections_.last();
    auto* screenLabel = new QLabel(box);
    auto* colourLabel = new QLabel(box);
    screen_ = named(new QComboBox(box), "screen");
    colour_ = named(new QPushButton(box), "chromaKeyColor");
    colour_->setFixedSize(44, 22);
    noScreen_ = note(kNote1, box);
    translate([=, this] {
        screenLabel->setText(localized("出力先ディスプレイ"));
        colourLabel->setText(localized("クロマキーの色"));
    });
    labelled(s, screenLabel, screen_);
    s->addWidget(noScreen_);
    labelled(s, colourLabel, colour_);
    s->addWidget(note(kNote2, box));
    connect(screen_, &QComboBox::activated, this,
            [this](int row) { app_.setSelectedScreenIndex(row); });
    connect(colour_, &QPushButton::clicked, this, [this] {
        if (!services_.chooseColor) return;
        if (const auto colour = services_.chooseColor(app_.chromaKeyColor(), this)) {
            QColor opaque = *colour;
            opaque.setAlphaF(1);
            app_.setChromaKeyColor(opaque);
        }
    });
}

void SettingsView::buildOBS(QVBoxLayout* form) {
    QVBoxLayout* s = section(form, L10N_KEY("OBS"));
    QWidget* box = sections_.last();
    transportRow_ = new QWidget(box);
    auto* row = new QHBoxLayout(transportRow_);
    row->setContentsMargins(0, 0, 0, 0);
    auto* label = new QLabel(transportRow_);
    translate([label] { label->setText(localized("送り方")); });
    row->addWidget(label);
    row->addStretch();
    transport_ = new QButtonGroup(this);
    transport_->setObjectName(QStringLiteral("transport"));
    for (const auto& [text, id] : {std::pair{"Syphon", 0}, std::pair{"NDI", 1}}) {
        auto* button = new SegmentButton(QString::fromUtf8(text), transportRow_);
        transport_->addButton(button, id);
        row->addWidget(button);
    }
    s->addWidget(transportRow_);
    transportText_ = new QLabel(box);
    transportText_->setWordWrap(true);
    secondaryStyle(transportText_, kNotePointSize);
    s->addWidget(transportText_);
    s->addWidget(note(kNote3, box));
    auto* trademark = new QHBoxLayout;
    trademark->setSpacing(4);
    auto* owner =
        new QLabel(QStringLiteral("NDI® is a registered trademark of Vizrt NDI AB."), box);
    auto* link =
        new QLabel(QStringLiteral("<a href=\"%1\">%2</a>").arg(kNDIAddress, kNDILabel), box);
    link->setObjectName(QStringLiteral("ndiLink"));
    link->setTextFormat(Qt::RichText);
    link->setOpenExternalLinks(true);
    for (QLabel* part : {owner, link}) {
        secondaryStyle(part, 10);
        trademark->addWidget(part, 0, Qt::AlignVCenter);
    }
    trademark->addStretch();
    s->addLayout(trademark);
    connect(transport_, &QButtonGroup::idClicked, this, [this](int id) {
        app_.setObsTransport(id == 1 ? OBSTransport::ndi : OBSTransport::syphon);
    });
}

void SettingsView::buildSDI(QVBoxLayout* form) {
    QVBoxLayout* s = section(form, L10N_KEY("SDI 出力"));
    QWidget* box = sections_.last();
    auto* deviceLabel = new QLabel(box);
    auto* depthLabel = new QLabel(box);
    auto* keyLabel = new QLabel(box);
    device_ = named(new QComboBox(box), "device");
    rescan_ = named(new QPushButton(box), "rescan");
    depth_ = named(new QComboBox(box), "bitDepth");
    keyAlpha_ = named(new QComboBox(box), "keyAlpha");
    embed_ = named(new QCheckBox(box), "embedAudio");
    mute_ = named(new QCheckBox(box), "muteLocal");
    keyer_ = named(new QCheckBox(box), "externalKeyer");
    translate([=, this] {
        deviceLabel->setText(localized("出力先"));
        rescan_->setText(localized("機器を再検出"));
        depthLabel->setText(localized("ビット深度"));
        keyLabel->setText(localized("キーの形式"));
        embed_->setText(localized("SDI に音声を乗せる（エンベデッド）"));
        mute_->setText(localized("SDI 出力中はこのコンピュータのスピーカーから音を出さない"));
        keyer_->setText(localized("外部キーヤーを有効にする"));
    });
    labelled(s, deviceLabel, device_);
    auto* rescanRow = new QHBoxLayout;
    rescanRow->addStretch();
    rescanRow->addWidget(rescan_);
    s->addLayout(rescanRow);
    labelled(s, depthLabel, depth_);
    s->addWidget(note(kNote4, box));
    labelled(s, keyLabel, keyAlpha_);
    s->addWidget(note(kNote5, box));
    s->addWidget(embed_);
    s->addWidget(mute_);
    s->addWidget(note(kNote6, box));
    s->addWidget(keyer_);
    s->addWidget(note(kNote7, box));
    summary_ = named(new QLabel(box), "modeSummary");
    summary_->setWordWrap(true);
    summary_->setFont(
        pointFont(QFontDatabase::systemFont(QFontDatabase::FixedFont), kNotePointSize));
    secondaryStyle(summary_, kNotePointSize);
    s->addWidget(summary_);

    connect(device_, &QComboBox::activated, this,
            [this](int row) { app_.setSelectedDeckLinkIndex(row); });
    connect(rescan_, &QPushButton::clicked, this, [this] {
        presenter_.forgetModes();
        app_.refreshDeckLinkDevices();
        sync();
    });
    connect(depth_, &QComboBox::activated, this, [this](int row) {
        if (row >= 0 && row < 3) app_.setSdiBitDepth(SDIBitDepth::allCases()[size_t(row)]);
    });
    connect(keyAlpha_, &QComboBox::activated, this, [this](int row) {
        if (row >= 0 && row < 2) engine_.setKeyAlphaMode(KeyAlphaMode::allCases()[size_t(row)]);
    });
    connect(embed_, &QCheckBox::clicked, this, [this](bool on) { app_.setSdiEmbedAudio(on); });
    connect(mute_, &QCheckBox::clicked, this, [this](bool on) { app_.setSdiMutesLocalAudio(on); });
    connect(keyer_, &QCheckBox::clicked, this, [this](bool on) { app_.setUseExternalKeyer(on); });
}

void SettingsView::buildPlayout(QVBoxLayout* form) {
    QVBoxLayout* s = section(form, L10N_KEY("送出"));
    QWidget* box = sections_.last();
    autoAdvance_ = named(new QCheckBox(box), "autoAdvance");
    audio_ = named(new QCheckBox(box), "audioEnabled");
    translate([=, this] {
        autoAdvance_->setText(localized("送出したらネクストを自動で進める"));
        audio_->setText(localized("動画の埋め込み音声を出す"));
    });
    s->addWidget(autoAdvance_);
    s->addWidget(audio_);
    s->addWidget(note(kNote8, box));
    connect(autoAdvance_, &QCheckBox::clicked, this,
            [this](bool on) { engine_.setAutoAdvance(on); });
    connect(audio_, &QCheckBox::clicked, this, [this](bool on) { engine_.setAudioEnabled(on); });
}

void SettingsView::buildAutosave(QVBoxLayout* form) {
    QVBoxLayout* s = section(form, L10N_KEY("自動保存"));
    QWidget* box = sections_.last();
    auto* intervalLabel = new QLabel(box);
    auto* folderLabel = new QLabel(box);
    interval_ = named(new QComboBox(box), "autosaveInterval");
    path_ = named(new QLabel(box), "autosavePath");
    path_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    path_->setFont(pointFont(QFontDatabase::systemFont(QFontDatabase::FixedFont), kNotePointSize));
    secondaryStyle(path_, kNotePointSize);
    auto* choose = named(new QPushButton(box), "chooseFolder");
    resetFolder_ = named(new QPushButton(box), "standardFolder");
    unavailable_ = note(kNote9, box);
    QPalette orange = unavailable_->palette();
    orange.setColor(QPalette::WindowText, Palette::systemOrange());
    unavailable_->setPalette(orange);
    translate([=, this] {
        intervalLabel->setText(localized("保存間隔"));
        folderLabel->setText(localized("保存先"));
        choose->setText(localized("フォルダを選ぶ…"));
        resetFolder_->setText(localized("標準の場所に戻す"));
    });
    labelled(s, intervalLabel, interval_);
    s->addWidget(folderLabel);
    s->addWidget(path_);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(choose);
    buttons->addWidget(resetFolder_);
    buttons->addStretch();
    s->addLayout(buttons);
    s->addWidget(unavailable_);
    s->addWidget(note(kNote10, box));

    // Only the operator's choice reaches the store: setting the interval restarts its timer.
    connect(interval_, &QComboBox::activated, this, [this](int row) {
        const auto options = SettingsPresenter::intervalOptions();
        if (row < 0 || row >= options.size() || options[row].value == autosaveIntervalSeconds_)
            return;
        autosaveIntervalSeconds_ = options[row].value;
        services_.autosave->setIntervalSeconds(autosaveIntervalSeconds_);
    });
    connect(choose, &QPushButton::clicked, this, &SettingsView::chooseAutosaveFolder);
    connect(resetFolder_, &QPushButton::clicked, this,
            [this] { changeAutosaveFolder(std::nullopt); });
}

void SettingsView::buildTestPattern(QVBoxLayout* form) {
    QVBoxLayout* s = section(form, L10N_KEY("テストパターン"));
    QWidget* box = sections_.last();
    auto* row = new QHBoxLayout;
    row->setSpacing(6);
    auto* cabinet = new QLabel(box);
    auto* wLabel = new QLabel(box);
    auto* hLabel = new QLabel(box);
    cabinetWidth_ = named(new QLineEdit(box), "cabinetWidth");
    cabinetHeight_ = named(new QLineEdit(box), "cabinetHeight");
    translate([=, this] {
        cabinet->setText(localized("LED キャビネット 1 枚"));
        wLabel->setText(localized("横"));
        hLabel->setText(localized("縦"));
    });
    row->addWidget(cabinet);
    row->addStretch();
    for (auto [label, field] : {std::pair{wLabel, cabinetWidth_}, {hLabel, cabinetHeight_}}) {
        field->setFixedWidth(70);
        field->setAlignment(Qt::AlignRight);
        row->addWidget(label);
        row->addWidget(field);
        if (field == cabinetWidth_) row->addWidget(new QLabel(QStringLiteral("×"), box));
    }
    row->addWidget(new QLabel(QStringLiteral("px"), box));
    s->addLayout(row);
    s->addWidget(note(kNote11, box));
    connect(cabinetWidth_, &QLineEdit::editingFinished, this,
            [this] { writeCabinet(SettingsPresenter::CabinetSide::width, cabinetWidth_); });
    connect(cabinetHeight_, &QLineEdit::editingFinished, this,
            [this] { writeCabinet(SettingsPresenter::CabinetSide::height, cabinetHeight_); });
}

void SettingsView::buildAlpha(QVBoxLayout* form) {
    QVBoxLayout* s = section(form, L10N_KEY("アルファ"));
    QWidget* box = sections_.last();
    unpremultiply_ = named(new QCheckBox(box), "unpremultiplyAlpha");
    translate([=, this] {
        unpremultiply_->setText(localized("動画のアルファをプリマルチプライドとして扱う"));
    });
    s->addWidget(unpremultiply_);
    s->addWidget(note(kNote12, box));
    connect(unpremultiply_, &QCheckBox::clicked, this,
            [this](bool on) { engine_.setUnpremultiplyAlpha(on); });
}

void SettingsView::buildDisplay(QVBoxLayout* form) {
    QVBoxLayout* s = section(form, L10N_KEY("表示"));
    QWidget* box = sections_.last();
    auto* languageLabel = new QLabel(box);
    auto* backgroundLabel = new QLabel(box);
    auto* orderLabel = new QLabel(box);
    auto* stripLabel = new QLabel(box);
    auto* previewLabel = new QLabel(box);
    language_ = named(new QComboBox(box), "language");
    programOnLeft_ = named(new QComboBox(box), "programOnLeft");
    strip_ = named(new QComboBox(box), "stripDirection");
    reload_ = named(new QCheckBox(box), "reloadMedia");
    translate([=, this] {
        languageLabel->setText(localized("言語"));
        backgroundLabel->setText(localized("背景の明るさ"));
        orderLabel->setText(localized("NEXT と PROGRAM"));
        stripLabel->setText(localized("サムネイルの並び"));
        previewLabel->setText(localized("プレビューの下地"));
        reload_->setText(localized("アプリに戻ったとき素材を再読み込み"));
    });
    const auto segmented = [&](QLabel* label, const QStringList& texts, const char* name) {
        auto* group = new QButtonGroup(this);
        group->setObjectName(QString::fromUtf8(name));
        auto* row = new QHBoxLayout;
        row->setSpacing(0);
        // A text longer than the room beside the buttons goes on to a second line.
        label->setWordWrap(true);
        row->addWidget(label);
        row->addStretch();
        for (int i = 0; i < texts.size(); ++i) {
            auto* button = new SegmentButton(texts[i], box);
            button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
            group->addButton(button, i);
            row->addWidget(button);
        }
        s->addLayout(row);
        return group;
    };
    labelled(s, languageLabel, language_);
    background_ = segmented(backgroundLabel, {"0%", "33%", "66%", "100%"}, "backgroundLevel");
    labelled(s, orderLabel, programOnLeft_);
    // Its options are long sentences: the box takes the whole width under its text.
    s->addWidget(stripLabel);
    s->addWidget(strip_);
    s->addWidget(note(kNote14, box));
    previewBackground_ = segmented(previewLabel, {QString(), QString()}, "previewBackground");
    translate([this] {
        const auto options = SettingsPresenter::previewBackgroundOptions();
        for (int i = 0; i < options.size(); ++i)
            previewBackground_->button(i)->setText(options[i].label);
    });
    s->addWidget(reload_);
    s->addWidget(note(kNote15, box));

    connect(language_, &QComboBox::activated, this, [this](int row) {
        const auto options = SettingsPresenter::languageOptions();
        if (row >= 0 && row < options.size()) services_.language->setLanguage(options[row].value);
    });
    connect(background_, &QButtonGroup::idClicked, this,
            [this](int id) { app_.setBackgroundLevel(id); });
    connect(programOnLeft_, &QComboBox::activated, this, [this](int row) {
        const auto options = SettingsPresenter::programOnLeftOptions();
        if (row >= 0 && row < options.size()) app_.setProgramOnLeft(options[row].value);
    });
    connect(strip_, &QComboBox::activated, this, [this](int row) {
        const auto options = SettingsPresenter::stripDirectionOptions();
        if (row >= 0 && row < options.size()) app_.setStripRightToLeft(options[row].value);
    });
    connect(previewBackground_, &QButtonGroup::idClicked, this, [this](int id) {
        const auto options = SettingsPresenter::previewBackgroundOptions();
        if (id >= 0 && id < options.size()) app_.setPreviewBackground(options[id].value);
    });
    connect(reload_, &QCheckBox::clicked, this,
            [this](bool on) { app_.setReloadMediaOnActivation(on); });
}

void SettingsView::retranslate() {
    for (const auto& apply : retranslators_) apply();
}

QStringList SettingsView::sectionHeaders() const {
    QStringList headers;
    for (const QGroupBox* box : sections_) headers << box->title();
    return headers;
}

// ---- State ------------------------------------------------------------------------------------

void SettingsView::sync() {
    // The appear action's scans each announce a change; the form updates once after them.
    if (appearing_) return;
    const bool running = app_.isDeckLinkRunning();
    const bool locked = SettingsPresenter::formatLocked(engine_.state(), running);

    shownFormats_ = formatOptions();
    QStringList formats;
    for (const CanvasFormat& f : shownFormats_) formats << f.label();
    showRows(format_, formats, SettingsPresenter::formatRow(shownFormats_, engine_.canvas()));
    QStringList rates;
    for (const FrameRate& r : FrameRate::presets()) rates << r.label();
    showRows(frameRate_, rates, SettingsPresenter::frameRateRow(engine_.frameRate()));
    for (QWidget* w : {static_cast<QWidget*>(format_), static_cast<QWidget*>(frameRate_),
                       static_cast<QWidget*>(custom_)})
        w->setEnabled(!locked);

    const auto& screens = app_.availableScreens();
    QStringList screenRows;
    for (int i = 0; i < screens.size(); ++i)
        screenRows << SettingsPresenter::screenLabel(i, screens[i]);
    showRows(
        screen_, screenRows,
        SettingsPresenter::rowFor(app_.selectedScreenIndex(), int(screens.size())).value_or(-1));
    screen_->setEnabled(!app_.isOutputOpen() && !screens.isEmpty());
    noScreen_->setVisible(screens.isEmpty());
    const QString swatch = QStringLiteral("background-color: %1; border: 1px solid gray;")
                               .arg(app_.chromaKeyColor().name(QColor::HexRgb));
    if (colour_->styleSheet() != swatch) colour_->setStyleSheet(swatch);

    const bool sandboxed = services_.isSandboxed && services_.isSandboxed();
    transportRow_->setVisible(!sandboxed);
    check(transport_, app_.obsTransport() == OBSTransport::ndi ? 1 : 0);
    transportText_->setText(SettingsPresenter::transportDescription(app_.effectiveOBSTransport()));

    const auto& devices = app_.availableDeckLinkDevices();
    QStringList deviceRows;
    for (const ZRDeckLinkDevice& d : devices) deviceRows << d.name();
    if (deviceRows.isEmpty()) deviceRows << localized("機器が見つかりません");
    showRows(device_, deviceRows,
             SettingsPresenter::rowFor(app_.selectedDeckLinkIndex(), int(deviceRows.size()))
                 .value_or(-1));
    QStringList depths;
    for (SDIBitDepth d : SDIBitDepth::allCases()) depths << SettingsPresenter::bitDepthLabel(d);
    showRows(depth_, depths, int(app_.sdiBitDepth()));
    QStringList keys;
    for (KeyAlphaMode m : KeyAlphaMode::allCases()) keys << SettingsPresenter::keyAlphaLabel(m);
    showRows(keyAlpha_, keys, int(engine_.keyAlphaMode()));
    check(embed_, app_.sdiEmbedAudio());
    check(mute_, app_.sdiMutesLocalAudio());
    check(keyer_, app_.useExternalKeyer());
    for (QWidget* w : {static_cast<QWidget*>(device_), static_cast<QWidget*>(rescan_),
                       static_cast<QWidget*>(depth_), static_cast<QWidget*>(embed_)})
        w->setEnabled(!running);
    mute_->setEnabled(SettingsPresenter::muteToggleEnabled(app_.sdiEmbedAudio()));
    keyer_->setEnabled(SettingsPresenter::keyerToggleEnabled(running, app_.sdiBitDepth()));
    syncSummary();

    check(autoAdvance_, engine_.autoAdvance());
    check(audio_, engine_.audioEnabled());
    showRows(interval_, labelsOf(SettingsPresenter::intervalOptions()),
             SettingsPresenter::intervalRow(autosaveIntervalSeconds_));
    syncPath();
    resetFolder_->setEnabled(app_.defaults().string(AutosaveStore::directoryKey).has_value());
    unavailable_->setVisible(autosaveLocationUnavailable_);

    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    for (auto [field, value] : {std::pair{cabinetWidth_, app_.ledCabinet().width},
                                {cabinetHeight_, app_.ledCabinet().height}}) {
        const QSignalBlocker block(field);
        field->setText(locale.toString(value));
    }
    check(unpremultiply_, engine_.unpremultiplyAlpha());

    const auto languages = SettingsPresenter::languageOptions();
    showRows(language_, labelsOf(languages), rowOf(languages, services_.language->language()));
    check(background_, app_.backgroundLevel());
    const auto order = SettingsPresenter::programOnLeftOptions();
    showRows(programOnLeft_, labelsOf(order), rowOf(order, app_.programOnLeft()));
    const auto strip = SettingsPresenter::stripDirectionOptions();
    showRows(strip_, labelsOf(strip), rowOf(strip, app_.stripRightToLeft()));
    check(previewBackground_, app_.previewBackground() == PreviewBackground::black ? 1 : 0);
    check(reload_, app_.reloadMediaOnActivation());
    // Measured on the next turn of the event loop, once for any number of updates, as the
    // toolkit lays out.
    if (!fitPending_) {
        fitPending_ = true;
        QMetaObject::invokeMethod(this, &SettingsView::fitHeight, Qt::QueuedConnection);
    }
}

void SettingsView::fitHeight() {
    fitPending_ = false;
    // Wrapped notes need the height they take at the fixed width; a window or a scroll area
    // holding the form gives it at least that.
    const int height = layout()->heightForWidth(kWidth);
    if (height <= 0 || height == minimumHeight()) return;
    setMinimumHeight(height);
    if (isWindow() && this->height() < height) resize(kWidth, height);
}

void SettingsView::syncSummary() {
    const auto text = modeSummary();
    summary_->setVisible(text.has_value());
    summary_->setText(text.value_or(QString()));
}

void SettingsView::syncPath() {
    if (shownPath_ == autosaveDirectoryPath_) return;
    shownPath_ = autosaveDirectoryPath_;
    const QFontMetrics metrics(path_->font());
    const int width = kWidth - 40;
    path_->setText(SettingsPresenter::wrapMiddle(
        autosaveDirectoryPath_, [&](const QString& s) { return metrics.horizontalAdvance(s); },
        width, 3));
}

QList<CanvasFormat> SettingsView::formatOptions() const {
    return SettingsPresenter::formatOptions(engine_.canvas());
}

std::optional<QString> SettingsView::modeSummary() {
    return presenter_.modeSummary(app_.availableDeckLinkDevices(), app_.selectedDeckLinkIndex(),
                                  engine_.canvas(), engine_.frameRate(), app_.sdiBitDepth(),
                                  app_.useExternalKeyer());
}

bool SettingsView::showCustomFormat() const {
    return editor_->isVisible();
}

void SettingsView::refreshAutosaveSettings() {
    AutosaveStore& store = *services_.autosave;
    autosaveIntervalSeconds_ = store.intervalSeconds();
    autosaveDirectoryPath_ = store.directory().value_or(QString());
    autosaveLocationUnavailable_ = store.selectedDirectoryUnavailable();
    sync();
}

void SettingsView::chooseAutosaveFolder() {
    if (!services_.chooseFolder) return;
    const QString start = services_.autosave->directory().value_or(QString());
    app_.setFilePanelOpen(this, true);
    const auto folder =
        services_.chooseFolder(start, localized("自動保存先のフォルダを選んでください。"), this);
    app_.setFilePanelOpen(this, false);
    if (folder) changeAutosaveFolder(*folder);
}

void SettingsView::changeAutosaveFolder(const std::optional<QString>& folder) {
    AutosaveStore& store = *services_.autosave;
    std::optional<QString> failure;
    try {
        store.setDirectory(folder);
    } catch (const AutosaveLocationError& error) {
        failure = error.errorDescription();
    } catch (const std::exception& error) {
        failure = QString::fromUtf8(error.what());
    }
    if (failure) {
        if (services_.warn)
            services_.warn(localized("保存先を変更できませんでした"), *failure, localized("閉じる"),
                           this);
        refreshAutosaveSettings();
        return;
    }
    refreshAutosaveSettings();
    const QUrl url = app_.projectURL();
    store.write(services_.currentProject ? services_.currentProject() : PlayoutProject{},
                url.isEmpty() ? std::nullopt : std::optional(url.toLocalFile()));
}

void SettingsView::applyCustomFormat(const QString& width, const QString& height) {
    // A canvas that no SDI mode carries would fail every frame of a running output.
    if (app_.isDeckLinkRunning()) {
        engine_.setLastMessage(localized("SDI 出力中はフォーマットを変更できません"));
        return;
    }
    if (const auto canvas = SettingsPresenter::customCanvas(width, height))
        engine_.setCanvas(*canvas);
}

void SettingsView::writeCabinet(SettingsPresenter::CabinetSide side, QLineEdit* field) {
    if (const auto size = SettingsPresenter::cabinetWrite(app_.ledCabinet(), side, field->text(),
                                                          QLocale::system()))
        app_.setLedCabinet(*size);
    sync();
}

// ---- Appearing --------------------------------------------------------------------------------

void SettingsView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) appear();
}

void SettingsView::appear() {
    appearing_ = true;
    app_.setIsSettingsOpen(true);
    app_.refreshDeckLinkDevices();
    app_.refreshScreens();
    appearing_ = false;
    refreshAutosaveSettings();
}

void SettingsView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    if (event->spontaneous()) return;
    editor_->hide();
    app_.setIsSettingsOpen(false);
}

}  // namespace velmar
