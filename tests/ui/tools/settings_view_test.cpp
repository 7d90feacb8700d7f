#include "app/app_state_fixture.h"

#include "core/autosave_store.h"
#include "ui/controls/app_appearance.h"
#include "ui/tools/settings_custom_format_editor.h"
#include "ui/tools/settings_view.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>

namespace velmar::test {
namespace {

class SettingsViewTest : public AppStateFixture {
  protected:
    void SetUp() override {
        AppStateFixture::SetUp();
        screens.add("left", QRect(0, 0, 1920, 1080));
        screens.add("right", QRect(1920, 0, 1280, 720));
        screens.add("third", QRect(3200, 0, 800, 600));
        make();
        store = std::make_unique<AutosaveStore>(AutosaveStore::Environment{
            dir.filePath("support"), defaults.get(), &clock, nullptr, false});
    }
    void TearDown() override {
        view.reset();
        store.reset();
        AppStateFixture::TearDown();
    }

    // The form over the fixture's state, shown (the appear action runs).
    SettingsView& open() {
        SettingsView::Services services;
        services.autosave = store.get();
        services.modes = [this](long long device, SDIBitDepth depth, bool keyer) {
            ++modeQueries;
            return DeckLinkController::supportedModes(card.get(), device, depth, keyer);
        };
        services.isSandboxed = [this] { return sandboxed; };
        services.currentProject = [] { return PlayoutProject{}; };
        services.chooseFolder = [this](const QString&, const QString& message, QWidget*) {
            panelMessage = message;
            panelOpenDuring = app->isFilePanelOpen();
            return chosenFolder;
        };
        services.warn = [this](const QString& message, const QString& informative,
                               const QString& button, QWidget*) {
            warnings << message + "|" + informative + "|" + button;
        };
        view = std::make_unique<SettingsView>(*app, services);
        view->show();
        return *view;
    }
    template <typename T>
    T* find(const char* name) {
        T* widget = view->findChild<T*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QByteArray settingsBytes() const {
        QFile file(settingsPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    void startSDI() {
        app->startDeckLink();
        ASSERT_TRUE(app->isDeckLinkRunning()) << status().toStdString();
    }

    std::unique_ptr<AutosaveStore> store;
    std::unique_ptr<SettingsView> view;
    int modeQueries = 0;
    std::optional<QString> chosenFolder;
    QString panelMessage;
    bool panelOpenDuring = false;
    QStringList warnings;
};

TEST_F(SettingsViewTest, ShowingMarksOpenScansAndFillsTheAutosaveFields) {
    app->setSelectedScreenIndex(1);
    SettingsView& form = open();
    EXPECT_EQ(form.width(), SettingsView::kWidth);
    EXPECT_EQ(form.sectionHeaders(),
              QStringList({"出力", "サブモニター", "OBS", "SDI 出力", "送出", "自動保存",
                           "テストパターン", "アルファ", "表示"}));
    EXPECT_TRUE(app->isSettingsOpen());
    EXPECT_EQ(app->availableDeckLinkDevices().size(), 1u);
    EXPECT_EQ(app->availableScreens().size(), 2);  // the control screen left out
    EXPECT_FALSE(form.autosaveDirectoryPath().isEmpty());
    EXPECT_EQ(form.autosaveDirectoryPath(), store->directory().value_or(""));
    auto* screen = find<QComboBox>("screen");
    EXPECT_EQ(screen->itemText(1), "画面 2: 800×600");
    EXPECT_EQ(screen->currentIndex(), 1);
    form.hide();
    EXPECT_FALSE(app->isSettingsOpen());
}

// Opening the form used to hand the stored interval back to the store, which restarted the
// running autosave timer: a form opened now and then postponed the autosave for good.
TEST_F(SettingsViewTest, OpeningLeavesTheAutosaveTimerRunningMended) {
    defaults->set(AutosaveStore::intervalKey, 300);
    int ticks = 0;
    store->setProjectProvider([&ticks] {
        ++ticks;
        return std::pair{PlayoutProject{}, std::optional<QString>()};
    });
    store->start();
    clock.advance(200);
    open();
    EXPECT_EQ(view->autosaveIntervalSeconds(), 300);
    EXPECT_EQ(find<QComboBox>("autosaveInterval")->currentText(), "5 分");
    view->hide();
    view->show();
    clock.advance(101);
    EXPECT_EQ(ticks, 1);
    store->stop();
    store->waitUntilIdle();
}

TEST_F(SettingsViewTest, CustomEditorAppliesOrClosesKeepingItsTexts) {
    open();
    SettingsCustomFormatEditor* editor = view->customFormatEditor();
    QTest::mouseClick(find<QPushButton>("custom"), Qt::LeftButton);
    ASSERT_TRUE(view->showCustomFormat());
    EXPECT_EQ(editor->widthText(), "1920");
    editor->widthField()->setText("1280");
    editor->heightField()->setText("1024");
    QTest::mouseClick(editor->applyButton(), Qt::LeftButton);
    EXPECT_FALSE(view->showCustomFormat());
    EXPECT_EQ(app->engine().canvas(), (CanvasFormat{1280, 1024, CanvasFormat::customName()}));
    auto* format = find<QComboBox>("format");
    EXPECT_EQ(format->count(), 6);
    EXPECT_EQ(format->currentIndex(), 5);

    // Cancel applies nothing and keeps the text; so does input that is no size.
    QTest::mouseClick(find<QPushButton>("custom"), Qt::LeftButton);
    editor->widthField()->setText("1000");
    QTest::mouseClick(editor->cancelButton(), Qt::LeftButton);
    EXPECT_FALSE(view->showCustomFormat());
    QTest::mouseClick(find<QPushButton>("custom"), Qt::LeftButton);
    EXPECT_EQ(editor->widthText(), "1000");
    editor->widthField()->setText("800px");
    QTest::keyClick(editor->widthField(), Qt::Key_Return);
    EXPECT_FALSE(view->showCustomFormat());
    EXPECT_EQ(app->engine().canvas().width, 1280);
}

// An SDI output started while the editor was open used to take the custom size, which no SDI
// mode carries: every frame then failed on air. The editor now refuses while SDI runs.
TEST_F(SettingsViewTest, CustomSizeRefusedWhileSDIRunsMended) {
    open();
    const CanvasFormat before = app->engine().canvas();
    QTest::mouseClick(find<QPushButton>("custom"), Qt::LeftButton);
    startSDI();
    view->customFormatEditor()->widthField()->setText("640");
    view->customFormatEditor()->heightField()->setText("480");
    QTest::mouseClick(view->customFormatEditor()->applyButton(), Qt::LeftButton);
    EXPECT_FALSE(view->showCustomFormat());
    EXPECT_EQ(app->engine().canvas(), before);
    EXPECT_EQ(status(), "SDI 出力中はフォーマットを変更できません");
    app->stopDeckLink();
}

TEST_F(SettingsViewTest, RunningSDILocksItsControlsAndTheFormat) {
    open();
    startSDI();
    for (const char* name : {"format", "frameRate", "custom", "device", "rescan", "bitDepth",
                             "embedAudio", "externalKeyer"})
        EXPECT_FALSE(view->findChild<QWidget*>(name)->isEnabled()) << name;
    for (const char* name : {"keyAlpha", "muteLocal", "screen", "chromaKeyColor"})
        EXPECT_TRUE(view->findChild<QWidget*>(name)->isEnabled()) << name;
    app->setSdiEmbedAudio(false);
    EXPECT_FALSE(find<QCheckBox>("muteLocal")->isEnabled());
    app->stopDeckLink();
    EXPECT_TRUE(find<QComboBox>("format")->isEnabled());
    app->setSdiBitDepth(SDIBitDepth::tenBitFillOnly);
    EXPECT_FALSE(find<QCheckBox>("externalKeyer")->isEnabled());
    EXPECT_TRUE(find<QCheckBox>("externalKeyer")->isChecked());  // the stored value stays
}

// A stored display or device position without a row used to index past the list. The pickers
// now show no selection, the summary is left out, and nothing is written.
TEST_F(SettingsViewTest, StoredPositionsOutsideTheListsSelectNothingMended) {
    open();
    app->setSelectedScreenIndex(7);
    app->setSelectedDeckLinkIndex(-1);
    const QByteArray stored = settingsBytes();
    EXPECT_EQ(find<QComboBox>("screen")->currentIndex(), -1);
    EXPECT_EQ(find<QComboBox>("device")->currentIndex(), -1);
    EXPECT_EQ(view->modeSummary(), std::nullopt);
    EXPECT_TRUE(find<QLabel>("modeSummary")->isHidden());
    EXPECT_EQ(app->selectedScreenIndex(), 7);
    EXPECT_EQ(app->selectedDeckLinkIndex(), -1);
    EXPECT_EQ(settingsBytes(), stored);
}

TEST_F(SettingsViewTest, SummaryAsksTheDriverOnlyWhenItsInputsChange) {
    open();
    EXPECT_EQ(view->modeSummary(), "この機器で出せます: small 59.94 / 8bit（フィル＋キー）");
    EXPECT_EQ(modeQueries, 1);
    app->setProgramOnLeft(true);
    app->setBackgroundLevel(2);
    view->hide();
    view->show();
    EXPECT_EQ(modeQueries, 1);
    app->setUseExternalKeyer(false);
    EXPECT_EQ(modeQueries, 2);
    QTest::mouseClick(find<QPushButton>("rescan"), Qt::LeftButton);
    EXPECT_EQ(modeQueries, 3);
}

TEST_F(SettingsViewTest, RefusedFolderKeepsThePathAndSaysWhy) {
    open();
    const QString before = view->autosaveDirectoryPath();
    EXPECT_FALSE(find<QPushButton>("standardFolder")->isEnabled());
    // A folder whose path lies under a regular file cannot be made, even as root.
    QFile plain(dir.filePath("plain"));
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();
    chosenFolder = dir.filePath("plain/autosave");
    QTest::mouseClick(find<QPushButton>("chooseFolder"), Qt::LeftButton);
    EXPECT_TRUE(panelOpenDuring);
    EXPECT_FALSE(app->isFilePanelOpen());
    EXPECT_EQ(panelMessage, "自動保存先のフォルダを選んでください。");
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_EQ(warnings[0],
              "保存先を変更できませんでした|"
              "保存先フォルダに書き込めません。別のフォルダを選んでください。|閉じる");
    EXPECT_EQ(view->autosaveDirectoryPath(), before);

    // A usable folder receives the autosave at once and can be undone.
    chosenFolder = dir.filePath("shows");
    QDir().mkpath(*chosenFolder);
    QTest::mouseClick(find<QPushButton>("chooseFolder"), Qt::LeftButton);
    store->waitUntilIdle();
    EXPECT_EQ(view->autosaveDirectoryPath(), *chosenFolder);
    EXPECT_TRUE(QFile::exists(*chosenFolder + "/" + AutosaveStore::autosaveFileName));
    EXPECT_TRUE(find<QPushButton>("standardFolder")->isEnabled());
    QTest::mouseClick(find<QPushButton>("standardFolder"), Qt::LeftButton);
    EXPECT_EQ(view->autosaveDirectoryPath(), before);
    EXPECT_FALSE(find<QPushButton>("standardFolder")->isEnabled());

    // Cancelling the panel changes nothing.
    chosenFolder.reset();
    QTest::mouseClick(find<QPushButton>("chooseFolder"), Qt::LeftButton);
    EXPECT_EQ(warnings.size(), 1);
    EXPECT_FALSE(app->isFilePanelOpen());
}

// What the pickers store, read back from the settings file by a JSON parser of another
// program.
TEST_F(SettingsViewTest, PickersStoreWhatAnotherParserReadsBack) {
    open();
    auto* interval = find<QComboBox>("autosaveInterval");
    interval->setCurrentIndex(3);
    emit interval->activated(3);
    auto* depth = find<QComboBox>("bitDepth");
    depth->setCurrentIndex(1);
    emit depth->activated(1);
    auto* width = find<QLineEdit>("cabinetWidth");
    for (const char* text : {"7", "4097", "wide", "4096"}) {
        width->setText(text);
        emit width->editingFinished();
    }
    EXPECT_EQ(width->text(), "4096");
    find<QLineEdit>("cabinetHeight")->setText("4097");
    emit find<QLineEdit>("cabinetHeight")->editingFinished();
    EXPECT_EQ(find<QLineEdit>("cabinetHeight")->text(), "128");
    find<QButtonGroup>("backgroundLevel")->button(3)->click();
    find<QButtonGroup>("transport")->button(1)->click();
    EXPECT_EQ(app->obsTransport(), OBSTransport::ndi);

    const QString python = QStandardPaths::findExecutable("python3");
    if (python.isEmpty()) GTEST_SKIP() << "needs python3";
    defaults.reset();  // written out
    QProcess p;
    p.start(python, {"-c",
                     "import json,sys; d=json.load(open(sys.argv[1])); print(d['"
                     "autosaveIntervalSeconds'], d['sdiBitDepth'], d['ledCabinetWidth'], "
                     "d['ledCabinetHeight'], d['backgroundLevel'], d['obsTransport'])",
                     settingsPath()});
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(QString::fromUtf8(p.readAllStandardOutput()).trimmed(),
              "300 tenBitFillKey 4096 128 3 ndi")
        << p.readAllStandardError().toStdString();
}

TEST_F(SettingsViewTest, NoScreenOrDeviceLeavesTheNotesAndUsableControls) {
    screens.list.clear();
    app.reset();  // before the card it uses
    card = std::make_unique<VirtualSdiCard>(VirtualSdiConfig{});
    make();
    open();
    EXPECT_FALSE(find<QComboBox>("screen")->isEnabled());
    EXPECT_TRUE(find<QPushButton>("chromaKeyColor")->isEnabled());
    auto* device = find<QComboBox>("device");
    ASSERT_EQ(device->count(), 1);
    EXPECT_EQ(device->itemText(0), "機器が見つかりません");
    EXPECT_TRUE(find<QLabel>("modeSummary")->isHidden());
    EXPECT_TRUE(find<QComboBox>("bitDepth")->isEnabled());
}

TEST_F(SettingsViewTest, SandboxedBuildHidesTheTransportAndDescribesNDI) {
    sandboxed = true;
    make();
    app->setObsTransport(OBSTransport::syphon);
    open();
    EXPECT_FALSE(find<QButtonGroup>("transport")->button(0)->isVisible());
    EXPECT_TRUE(view->findChild<QLabel*>("ndiLink")->openExternalLinks());
    LanguageSettings::shared().setLanguage(AppLanguage::en);
    EXPECT_EQ(view->sectionHeaders().first(), "Output Format");
}

// The output screen cannot change under an open output window: the picker follows the window.
TEST_F(SettingsViewTest, ScreenPickerIsDisabledWhileTheOutputWindowIsOpen) {
    open();
    auto* screen = find<QComboBox>("screen");
    EXPECT_TRUE(screen->isEnabled());
    app->toggleOutput();
    ASSERT_TRUE(app->isOutputOpen()) << status().toStdString();
    EXPECT_FALSE(screen->isEnabled());
    app->toggleOutput();
    ASSERT_FALSE(app->isOutputOpen());
    EXPECT_TRUE(screen->isEnabled());
}

// Shown in Japanese, then switched to English: every picker is as wide as its English rows
// need (a box sized once, when first shown, cut them).
TEST_F(SettingsViewTest, PickersAreSizedAgainForTheRowsOfANewLanguage) {
    open();
    QCoreApplication::processEvents();
    LanguageSettings::shared().setLanguage(AppLanguage::en);
    for (QComboBox* box : view->findChildren<QComboBox*>()) {
        QComboBox fresh;
        for (int i = 0; i < box->count(); ++i) fresh.addItem(box->itemText(i));
        EXPECT_GE(box->sizeHint().width(), fresh.sizeHint().width())
            << box->objectName().toStdString() << ": " << box->currentText().toStdString();
    }
    LanguageSettings::shared().setLanguage(AppLanguage::ja);
}

// The chosen OBS transport is filled with the selection colour, not a shade darker than the
// other choice: readable in the dark palette.
TEST_F(SettingsViewTest, TheChosenTransportStandsOutInTheDarkPalette) {
    open();
    view->setPalette(AppAppearance::darkPalette());
    const auto fill = [](QAbstractButton* button) {
        const QImage image = button->grab().toImage();
        return image.pixelColor(4, image.height() / 2);
    };
    auto* transport = find<QButtonGroup>("transport");
    for (const auto& [chosen, other] :
         {std::pair{OBSTransport::ndi, 0}, {OBSTransport::syphon, 1}}) {
        app->setObsTransport(chosen);
        const QColor on = fill(transport->checkedButton());
        const QColor off = fill(transport->button(other));
        EXPECT_GT(on.blue() - on.red(), 120) << on.name().toStdString();
        EXPECT_LT(std::abs(off.blue() - off.red()), 10) << off.name().toStdString();
    }
}

// A segment with the keyboard focus, chosen or not, is ringed in white at its edge. As the style
// does for the other controls, focus is shown once the window is used from the keyboard: not
// for a click before that, nor on a segment without the focus.
TEST_F(SettingsViewTest, ASegmentWithTheKeyboardFocusIsRinged) {
    open();
    view->setPalette(AppAppearance::darkPalette());
    view->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    // The darkest grey level at the middle of the left and the top edge, inside the ring.
    const auto edge = [](QAbstractButton* button) {
        const QImage image = button->grab().toImage();
        return std::min(qGray(image.pixel(1, image.height() / 2)),
                        qGray(image.pixel(image.width() / 2, 1)));
    };
    auto* background = find<QButtonGroup>("backgroundLevel");
    ASSERT_NE(background->checkedButton(), nullptr);
    QAbstractButton* focused = background->button(background->checkedId() == 0 ? 1 : 0);
    QAbstractButton* other = background->checkedButton();
    EXPECT_LT(edge(other), 160) << "no focus, no ring";
    QTest::mouseClick(focused, Qt::LeftButton);
    ASSERT_TRUE(focused->hasFocus() && focused->isChecked());
    EXPECT_LT(edge(focused), 160) << "focus from a click";

    // Tab stops at the chosen segment of the row.
    find<QComboBox>("language")->setFocus(Qt::OtherFocusReason);
    for (int i = 0; i < 100 && !focused->hasFocus(); ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(focused->hasFocus());
    EXPECT_GT(edge(focused), 220) << "the ring on the chosen segment";
    other->setChecked(true);
    ASSERT_TRUE(focused->hasFocus());
    EXPECT_GT(edge(focused), 220) << "the ring on a segment no longer chosen";
    EXPECT_LT(edge(other), 160) << "the chosen segment without the focus";
    find<QComboBox>("language")->setFocus(Qt::TabFocusReason);
    EXPECT_LT(edge(focused), 160) << "focus elsewhere";
}

}  // namespace
}  // namespace velmar::test
