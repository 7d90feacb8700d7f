// The main window over a real engine and a scripted model: take buttons, switches, status line
// and window-wide behaviour (title, frame budget, drops, loading, duration sheet).
#include "ui/window/content_view.h"
#include "core/engine_fixture.h"
#include "ui/controls/switch_toggle.h"
#include "ui/window/control_bar.h"
#include "ui/window/main_window_model.h"
#include "ui/window/pane_caption.h"
#include "ui/window/preview_pane.h"
#include "ui/window/status_bar.h"
#include "ui/window/take_column.h"

#include <QCheckBox>
#include <QDialog>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace velmar {
namespace {

struct FakeModel final : MainWindowModel {
    int level = 3;
    QString name = QStringLiteral("Show");
    bool loading = false;
    bool onLeft = false;
    double column = 160;
    PreviewBackground background = PreviewBackground::black;
    std::optional<int> editor;
    bool sdi = false, output = false, obs = false, chroma = false;
    OBSTransport transport = OBSTransport::ndi;
    QStringList calls;
    QList<QList<QUrl>> remembered, imported;
    QList<double> budgets;
    int monitorStarts = 0;

    int backgroundLevel() const override { return level; }
    QString projectDisplayName() const override { return name; }
    bool isProjectLoading() const override { return loading; }
    bool programOnLeft() const override { return onLeft; }
    double centerColumnWidth() const override { return column; }
    void setCenterColumnWidth(double w) override { column = w; }
    PreviewBackground previewBackground() const override { return background; }
    CanvasEngine* canvasEngine() const override { return nullptr; }
    std::optional<int> durationEditor() const override { return editor; }
    void closeDurationEditor() override {
        calls << "closeDurationEditor";
        editor.reset();
    }
    bool isDeckLinkRunning() const override { return sdi; }
    bool isOutputOpen() const override { return output; }
    bool isOBSOpen() const override { return obs; }
    OBSTransport effectiveOBSTransport() const override { return transport; }
    bool chromaKeyEnabled() const override { return chroma; }
    void setChromaKeyEnabled(bool on) override { chroma = on; }
    void startDeckLink() override { calls << "startDeckLink"; }
    void stopDeckLink() override {
        calls << "stopDeckLink";
        sdi = false;
    }
    void toggleOutput() override {
        calls << "toggleOutput";
        output = !output;
    }
    void toggleOBSOutput() override { calls << "toggleOBSOutput"; }
    void presentAddClips(AddPanel panel) override {
        calls << (panel == AddPanel::folder ? "presentAddClips folder" : "presentAddClips files");
    }
    void remember(const QList<QUrl>& urls) override {
        calls << "remember";
        remembered << urls;
    }
    void importURLs(const QList<QUrl>& urls) override {
        calls << "importURLs";
        imported << urls;
    }
    void resizeSelectedTransform(double, QSizeF, QSizeF) override { calls << "resize"; }
    SystemLoadPanel::Figures loadFigures() const override { return {}; }
    void setFrameBudget(double seconds) override { budgets << seconds; }
    void startMonitor() override { ++monitorStarts; }
    void publish() { emit changed(); }
};

struct ContentViewFixture : test::EngineFixture {
    FakeModel model;
    std::unique_ptr<ContentView> view;

    void makeView(ContentView::Slots views = {}) {
        view = std::make_unique<ContentView>(model, *engine, std::move(views),
                                             ContentView::Options{&clock, &clock});
        view->resize(1920, 1260);
    }
    void TearDown() override {
        view.reset();
        test::EngineFixture::TearDown();
    }
};

struct TakeState {
    PlayoutEngine::State state;
    bool key;
    QString program;
    bool operator==(const TakeState&) const = default;
};

TakeState takeState(PlayoutEngine& engine) {
    return {engine.state(), engine.keyOutputEnabled(),
            engine.programClip() ? engine.programClip()->displayName : QString()};
}

TEST_F(ContentViewFixture, TakeButtonsDoExactlyWhatReturnVAndSpaceDo) {
    loadTab(stills(3));
    makeView();
    auto twin = std::make_unique<PlayoutEngine>(services());
    ClipGroup group;
    group.name = "Tab";
    group.clips = stills(3);
    twin->rundown().loadGroups({group});
    test::drainMainQueue();
    ASSERT_TRUE(test::waitUntil([&] { return twin->nextMedia().has_value(); }, 5.0));

    TakeColumn& column = *view->takeColumn();
    struct Step {
        QPushButton* button;
        void (PlayoutEngine::*key)();
        double advance;
    };
    for (const Step& step : {Step{column.autoTransButton(), &PlayoutEngine::spacePressed, 0},
                             Step{column.autoTransButton(), &PlayoutEngine::spacePressed, 0},
                             Step{column.nextButton(), &PlayoutEngine::returnPressed, 0},
                             Step{column.cutButton(), &PlayoutEngine::cutTogglePressed, 3},
                             Step{column.nextButton(), &PlayoutEngine::returnPressed, 0},
                             Step{column.autoTransButton(), &PlayoutEngine::spacePressed, 3}}) {
        step.button->click();
        (twin.get()->*step.key)();
        EXPECT_EQ(takeState(*engine), takeState(*twin)) << step.button->text().toStdString();
        clock.advance(step.advance);
        settle();
        test::waitUntil([&] { return !twin->isNextLoading(); }, 5.0);
        EXPECT_EQ(takeState(*engine), takeState(*twin)) << step.button->text().toStdString();
    }
    for (QPushButton* b :
         {column.nextButton(), column.cutButton(), column.autoTransButton(), column.importButton()})
        EXPECT_EQ(b->focusPolicy(), Qt::NoFocus);
    // The import button offers files and a folder, one panel each.
    column.importButton()->click();
    QMenu* menu = column.importMenu();
    ASSERT_TRUE(menu->isVisible());
    QStringList entries;
    for (QAction* entry : menu->actions()) entries << entry->text();
    EXPECT_EQ(entries, (QStringList{"静止画・動画…", "フォルダ…"}));
    menu->actions()[1]->trigger();
    menu->actions()[0]->trigger();
    menu->close();
    EXPECT_EQ(model.calls, (QStringList{"presentAddClips folder", "presentAddClips files"}));
    twin.reset();
}

TEST_F(ContentViewFixture, SwitchesRunTheirCommandThenShowThePublishedState) {
    makeView();
    ControlBar& bar = *view->controlBar();
    bar.sdiSwitch()->click();  // the start leaves SDI stopped
    EXPECT_EQ(model.calls, QStringList{"startDeckLink"});
    EXPECT_FALSE(bar.sdiSwitch()->isChecked());
    model.sdi = true;
    model.publish();
    EXPECT_TRUE(bar.sdiSwitch()->isChecked());
    EXPECT_EQ(model.calls.size(), 1) << "a refresh never runs a command";
    bar.sdiSwitch()->click();
    EXPECT_EQ(model.calls.last(), QStringLiteral("stopDeckLink"));
    EXPECT_FALSE(bar.sdiSwitch()->isChecked());

    bar.outputSwitch()->click();
    EXPECT_TRUE(bar.outputSwitch()->isChecked());
    bar.chromaKeySwitch()->click();
    EXPECT_TRUE(model.chroma);
    EXPECT_EQ(bar.obsSwitch()->text(), QStringLiteral("OBS(NDI)"));
    model.transport = OBSTransport::syphon;
    model.publish();
    EXPECT_EQ(bar.obsSwitch()->text(), QStringLiteral("OBS(Syphon)"));
    EXPECT_EQ(model.calls.count("toggleOBSOutput"), 0);
}

// Mended: the switches were plain check boxes whose on state was a faint tick; each is a
// sliding switch whose track is lit in the accent colour exactly while it is on.
TEST_F(ContentViewFixture, EachOutputSwitchIsLitInTheAccentColourOnlyWhileOn) {
    makeView();
    ControlBar& bar = *view->controlBar();
    model.sdi = true;
    model.publish();
    const QColor lit = SwitchToggle::onColor();
    const auto litPixels = [&](QCheckBox* toggle) {
        const QImage image = toggle->grab().toImage();
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QColor c = image.pixelColor(x, y);
                n += std::abs(c.red() - lit.red()) + std::abs(c.green() - lit.green()) +
                         std::abs(c.blue() - lit.blue()) <
                     12;
            }
        return n;
    };
    for (QCheckBox* toggle :
         {bar.sdiSwitch(), bar.outputSwitch(), bar.obsSwitch(), bar.chromaKeySwitch()}) {
        SCOPED_TRACE(toggle->text().toStdString());
        ASSERT_NE(qobject_cast<SwitchToggle*>(toggle), nullptr);
        EXPECT_EQ(litPixels(toggle) > 20, toggle->isChecked());
    }
    EXPECT_TRUE(bar.sdiSwitch()->isChecked());
}

TEST(StatusBar, CanvasAndPositionFigures) {
    LanguageSettings::shared().setLanguage(AppLanguage::ja);
    EXPECT_EQ(StatusBar::canvasText({3840, 2160}, {25, 1}), QStringLiteral("3840×2160  25 p"));
    EXPECT_EQ(StatusBar::canvasText({1920, 1080}, {60000, 1001}),
              QStringLiteral("1920×1080  59.94 p"));
    ClipGroup tab;
    tab.clips = test::EngineFixture::stills(12);
    tab.selectedIndex = 2;
    EXPECT_EQ(StatusBar::positionText(false, tab), QStringLiteral("3 / 12"));
    tab.selectedIndex = -4;
    EXPECT_EQ(StatusBar::positionText(false, tab), QStringLiteral("1 / 12"));
    EXPECT_EQ(StatusBar::positionText(true, tab), QStringLiteral("END"));
    EXPECT_EQ(StatusBar::positionText(false, std::nullopt), QStringLiteral("END"));
    EXPECT_EQ(QString::fromUtf8(StatusBar::keyReminderKey()),
              QStringLiteral("←→ NEXT   Enter NEXT   V KEY ON/OFF   Space AUTO TRANS   N/B/M DSK"
                             "   J/K/L 動画   1\u301C9 タブ   ESC 緊急停止   Tab デュレーション"));
}

// A standing warning takes the reminder's place and outlives later messages until a click.
TEST_F(ContentViewFixture, AStandingWarningStaysUntilTheStatusLineIsClicked) {
    StatusBar bar(*engine);
    bar.resize(800, 24);
    engine->setStandingWarning("autosave failed");
    engine->setLastMessage("SDI started");
    EXPECT_EQ(bar.warning(), "autosave failed");
    // The canvas and position figures at the right keep their grey beside the red warning.
    const QImage shown = bar.grab().toImage();
    int reddish = 0;
    for (int x = shown.width() - 60; x < shown.width(); ++x) {
        for (int y = 0; y < shown.height(); ++y) {
            const QColor pixel = shown.pixelColor(x, y);
            reddish += pixel.red() - pixel.green() > 40;
        }
    }
    EXPECT_EQ(reddish, 0);
    QTest::mouseClick(&bar, Qt::LeftButton);
    EXPECT_EQ(engine->standingWarning(), "");
    EXPECT_EQ(bar.warning(), "");
}

TEST_F(ContentViewFixture, BudgetIsSetWhenShownAndOnEachRateChangeMonitorStartsOnce) {
    makeView();
    EXPECT_EQ(view->windowTitle(), QStringLiteral("DOVRINE — Show"));
    EXPECT_TRUE(model.budgets.isEmpty());
    view->show();
    view->hide();
    view->show();
    EXPECT_EQ(model.budgets, QList<double>{1001.0 / 60000});
    EXPECT_EQ(model.monitorStarts, 1);
    engine->setFrameRate({24000, 1001});
    EXPECT_EQ(model.budgets.last(), 1001.0 / 24000);
    EXPECT_EQ(model.monitorStarts, 1);
    model.name = QStringLiteral("Other");
    model.publish();
    EXPECT_EQ(view->windowTitle(), QStringLiteral("DOVRINE — Other"));
}

void drop(QWidget& target, QMimeData* data) {
    // Straight to the widget: the application routes drops only inside a running drag.
    QDropEvent event(QPointF(500, 500), Qt::CopyAction, data, Qt::LeftButton, Qt::NoModifier);
    static_cast<QObject&>(target).event(&event);
}

TEST_F(ContentViewFixture, ADropRemembersThenImportsItsLocalFilesInOneCall) {
    makeView();
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile("/m/a.png"), QUrl("https://example.com/b.png"),
                   QUrl::fromLocalFile("/m/c.mov")});
    drop(*view, &files);
    EXPECT_EQ(model.calls, (QStringList{"remember", "importURLs"}));
    const QList<QUrl> local{QUrl::fromLocalFile("/m/a.png"), QUrl::fromLocalFile("/m/c.mov")};
    EXPECT_EQ(model.remembered, QList<QList<QUrl>>{local});
    EXPECT_EQ(model.imported, QList<QList<QUrl>>{local});

    QMimeData text;
    text.setText(QStringLiteral("/m/a.png"));
    drop(*view, &text);
    QMimeData remote;
    remote.setUrls({QUrl("https://example.com/b.png")});
    drop(*view, &remote);
    EXPECT_EQ(model.calls.size(), 2);
}

TEST_F(ContentViewFixture, NothingReactsWhileAProjectLoads) {
    loadTab(stills(2));
    makeView();
    view->show();
    model.loading = true;
    model.publish();
    QTest::mouseClick(view->takeColumn()->nextButton(), Qt::LeftButton);
    EXPECT_EQ(engine->state(), PlayoutEngine::State::off);
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile("/m/a.png")});
    drop(*view, &files);
    EXPECT_TRUE(model.calls.isEmpty());
    model.loading = false;
    model.publish();
    QTest::mouseClick(view->takeColumn()->nextButton(), Qt::LeftButton);
    EXPECT_EQ(engine->state(), PlayoutEngine::State::on);
}

TEST_F(ContentViewFixture, DurationSheetFollowsTheEditorAndClosingItClosesTheEditor) {
    QList<int> built;
    ContentView::Slots views;
    views.durationSheet = [&built](int editor, QWidget* parent) {
        built << editor;
        return new QDialog(parent);
    };
    makeView(std::move(views));
    view->show();
    model.editor = 1;
    model.publish();
    ASSERT_NE(view->durationSheet(), nullptr);
    EXPECT_EQ(built, QList<int>{1});
    EXPECT_EQ(view->durationSheet()->windowModality(), Qt::WindowModal);
    view->durationSheet()->reject();
    EXPECT_EQ(model.calls, QStringList{"closeDurationEditor"});
    EXPECT_EQ(view->durationSheet(), nullptr);

    model.editor = 0;
    model.publish();
    ASSERT_NE(view->durationSheet(), nullptr);
    model.editor.reset();
    model.publish();
    EXPECT_EQ(view->durationSheet(), nullptr);
    EXPECT_EQ(model.calls.size(), 1) << "an outside close runs nothing";
}

TEST_F(ContentViewFixture, NextDragMovesOnlyTheOffsetsTheTargetsShare) {
    QList<Clip> clips = stills(3);
    clips[0].transform.offsetX = 0.1;
    clips[1].transform.offsetX = 0.2;
    loadTab(clips);
    rundown().setReorderSelection({clips[0].id, clips[1].id}, 0);
    ContentView::applyMove(rundown(), {50, 27}, {500, 270});
    const auto group = rundown().currentGroup();
    EXPECT_DOUBLE_EQ(group->clips[0].transform.offsetX, 0.1);
    EXPECT_DOUBLE_EQ(group->clips[1].transform.offsetX, 0.2);
    EXPECT_DOUBLE_EQ(group->clips[0].transform.offsetY, -0.1);
    EXPECT_DOUBLE_EQ(group->clips[1].transform.offsetY, -0.1);
    EXPECT_DOUBLE_EQ(group->clips[2].transform.offsetY, 0);
}

TEST_F(ContentViewFixture, NextCaptionShowsEndAndThePaneIsNotEditableWithoutAClip) {
    loadTab(stills(2), 2);
    makeView();
    EXPECT_TRUE(view->nextCaption()->isVisibleTo(view.get()));
    EXPECT_EQ(view->nextCaption()->text(), QStringLiteral("END"));
    EXPECT_TRUE(view->nextCaption()->testAttribute(Qt::WA_TransparentForMouseEvents));
    EXPECT_FALSE(view->nextPane()->showsEditor());
    EXPECT_FALSE(view->testPatternCaption()->isVisibleTo(view.get()));
}

}  // namespace
}  // namespace velmar
