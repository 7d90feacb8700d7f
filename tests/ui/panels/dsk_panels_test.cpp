#include "core/engine_fixture.h"

#include "core/dsk_controller.h"
#include "ui/controls/palette.h"
#include "ui/panels/dsk_control_bar.h"
#include "ui/panels/dsk_panel.h"
#include "ui/panels/dsk_panel_preview.h"

#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

namespace velmar::test {
namespace {

// A keyer on the fixture's fake clock whose stills decode to small images and whose background
// work runs inline, beside the fixture's engine (for its fade duration).
class DSKPanelsTest : public EngineFixture {
  protected:
    std::unique_ptr<DSKController> dsk;
    QTemporaryDir media;
    QStringList remembered;
    QHash<QObject*, bool> filePanel;

    void SetUp() override {
        EngineFixture::SetUp();
        DSKController::Services s;
        s.clock = &clock;
        s.timers = &clock;
        s.loadFullStill = [](const QUrl&) -> ImageRef {
            auto image = std::make_shared<QImage>(16, 9, QImage::Format_RGBA8888_Premultiplied);
            image->fill(Qt::white);
            return image;
        };
        s.runInBackground = [](std::function<void()> work) { work(); };
        dsk = std::make_unique<DSKController>(s);
        for (const char* name : {"b.png", "a.PNG", "notes.txt"}) {
            QFile f(media.filePath(name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("x");
        }
    }
    void TearDown() override {
        dsk.reset();
        EngineFixture::TearDown();
    }
    DSKPanel::Hooks hooks() {
        return {[this](QObject* owner, bool open) { filePanel[owner] = open; },
                [this](const QUrl& url) { remembered << url.toLocalFile(); }};
    }
    void loadFolder() {
        dsk->load(QUrl::fromLocalFile(media.path()));
        waitUntil([this] { return !dsk->isLoading() && dsk->media().has_value(); }, 5.0);
    }
};

TEST_F(DSKPanelsTest, KeyerButtonsFollowAndDriveTheKeyer) {
    DSKControlBar bar(*dsk, *engine);
    bar.show();
    EXPECT_FALSE(bar.cutButton()->isEnabled());
    loadFolder();
    ASSERT_EQ(dsk->countLabel(), "1 / 2");
    EXPECT_TRUE(bar.nextButton()->isEnabled());

    QTest::mouseClick(bar.cutButton(), Qt::LeftButton);
    EXPECT_TRUE(dsk->isActive());
    EXPECT_TRUE(bar.title()->styleSheet().contains(Palette::systemRed().name()));

    // FADE reads the duration at the press; changing it afterwards leaves the fade alone.
    engine->setFadeDuration(2.0);
    QTest::mouseClick(bar.fadeButton(), Qt::LeftButton);
    engine->setFadeDuration(0.5);
    EXPECT_TRUE(dsk->isTransitioning());
    EXPECT_FALSE(bar.fadeButton()->isEnabled());
    clock.advance(1.0);
    drainMainQueue();
    EXPECT_TRUE(dsk->isTransitioning());
    clock.advance(1.1);
    drainMainQueue();
    EXPECT_FALSE(dsk->isTransitioning());
    EXPECT_FALSE(dsk->isActive());
    EXPECT_TRUE(bar.fadeButton()->isEnabled());
    EXPECT_FALSE(bar.title()->styleSheet().contains(Palette::systemRed().name()));

    QTest::mouseClick(bar.nextButton(), Qt::LeftButton);
    waitUntil([this] { return !dsk->isLoading(); }, 5.0);
    EXPECT_EQ(dsk->countLabel(), "2 / 2");
}

// The dialog is not modal: pressing the button again used to open a second one, and the first
// to close lowered the file-panel flag while the other was still up.
// Mended: NEXT and the clear button showed symbol characters ("⏭", "✕") that the fonts here
// draw as missing-glyph boxes; their symbols now come from the icon files.
TEST_F(DSKPanelsTest, NextAndClearDrawTheirSymbolsFromIconFiles) {
    DSKControlBar bar(*dsk, *engine);
    bar.resize(160, 200);
    loadFolder();
    QPushButton* next = bar.nextButton();
    EXPECT_EQ(next->text(), "NEXT");
    ASSERT_FALSE(next->icon().isNull());
    // The symbol is drawn (the label's ink reaches past the centred text alone) and stands
    // after the text.
    EXPECT_EQ(next->layoutDirection(), Qt::RightToLeft);
    const QImage image = next->grab().toImage();
    const int textEnd = (image.width() + QFontMetrics(next->font()).horizontalAdvance("NEXT")) / 2;
    int inkEnd = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qRed(image.pixel(x, y)) < 150 && qAlpha(image.pixel(x, y)) > 150)
                inkEnd = std::max(inkEnd, x);
    EXPECT_GT(inkEnd, textEnd + 4);

    DSKPanel panel(*dsk, *engine, hooks());
    EXPECT_TRUE(panel.clearButton()->text().isEmpty());
    EXPECT_FALSE(panel.clearButton()->icon().isNull());
}

TEST_F(DSKPanelsTest, SecondChoiceRaisesTheOpenDialogMended) {
    DSKPanel panel(*dsk, *engine, hooks());
    panel.show();
    EXPECT_EQ(panel.clearButton()->isEnabled(), false);
    panel.selectMedia(false);
    QFileDialog* dialog = panel.openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(filePanel.value(&panel));
    QTest::mouseClick(panel.chooseButton(), Qt::LeftButton);
    panel.selectMedia(true);
    EXPECT_EQ(panel.openDialog(), dialog);
    EXPECT_EQ(panel.findChildren<QFileDialog*>().size(), 1);
    EXPECT_FALSE(panel.chooseMenu()->isVisible());

    dialog->reject();
    drainMainQueue();
    EXPECT_FALSE(filePanel.value(&panel));
    EXPECT_EQ(panel.openDialog(), nullptr);
    EXPECT_TRUE(remembered.isEmpty());
    EXPECT_FALSE(dsk->sourceURL().has_value());
}

TEST_F(DSKPanelsTest, ChoiceWhileKeyedIsRefusedByTheKeyerAndShownInOrange) {
    DSKPanel panel(*dsk, *engine, hooks());
    panel.resize(190, 400);
    panel.show();
    loadFolder();
    EXPECT_TRUE(panel.findChild<QLabel*>() != nullptr);
    panel.selectMedia(true);
    QFileDialog* dialog = panel.openDialog();
    ASSERT_NE(dialog, nullptr);
    dsk->cut();  // keyed from the control bar while the dialog is up
    EXPECT_FALSE(panel.chooseButton()->isEnabled());
    EXPECT_FALSE(panel.clearButton()->isEnabled());
    dialog->selectFile(media.path());
    QMetaObject::invokeMethod(dialog, "accept");
    drainMainQueue();
    EXPECT_FALSE(filePanel.value(&panel));
    EXPECT_EQ(remembered, QStringList{media.path()});
    ASSERT_TRUE(dsk->errorMessage().has_value());
    bool shown = false;
    for (QLabel* label : panel.findChildren<QLabel*>()) {
        shown = shown || (label->isVisible() && label->text() == *dsk->errorMessage());
    }
    EXPECT_TRUE(shown);
    EXPECT_EQ(dsk->countLabel(), "1 / 2");

    // The red border of the keyed preview.
    const QImage picture = panel.preview()->grab().toImage();
    EXPECT_EQ(picture.pixelColor(0, picture.height() / 2), Palette::systemRed());
    EXPECT_NE(picture.pixelColor(picture.width() / 2, picture.height() / 2), Palette::systemRed());
}

TEST_F(DSKPanelsTest, OffersEveryPlayableExtensionSorted) {
    const QStringList patterns = DSKPanel::nameFilterPatterns();
    EXPECT_EQ(patterns.size(), (Clip::stillExtensions() | Clip::movieExtensions()).size());
    EXPECT_TRUE(std::is_sorted(patterns.begin(), patterns.end()));
    EXPECT_TRUE(patterns.contains("*.png"));
    EXPECT_TRUE(patterns.contains("*.mov"));
}

// The fitted picture is drawn as it was scaled; the letterbox bars beside an opaque picture,
// and the whole box under a translucent one, get the dark backing.
TEST_F(DSKPanelsTest, PreviewPaintsPictureAndBars) {
    const QColor blue(40, 120, 200);
    QImage backing(190, 84, QImage::Format_ARGB32_Premultiplied);
    for (const int alpha : {255, 128}) {
        SCOPED_TRACE(alpha);
        QImage still(3840, 2160, QImage::Format_RGBA8888_Premultiplied);
        still.fill(QColor(blue.red(), blue.green(), blue.blue(), alpha));
        const QImage fitted = DSKPanelPreview::fitted(still, backing.size());
        EXPECT_EQ(fitted.size(), QSize(149, 84));
        EXPECT_EQ(fitted.hasAlphaChannel(), alpha != 255);
        backing.fill(Qt::white);
        QPainter painter(&backing);
        DSKPanelPreview::paint(painter, backing.rect(), fitted, false);
        painter.end();
        const QColor bar = backing.pixelColor(10, 42);  // white under black at 0.45
        EXPECT_NEAR(bar.red(), 140, 2);
        const QColor middle = backing.pixelColor(95, 42);
        if (alpha == 255) {
            EXPECT_EQ(middle, blue);
        } else {  // the picture at half over the darkened white
            EXPECT_NEAR(middle.red(), (140 + 40) / 2, 3);
            EXPECT_NEAR(middle.blue(), (140 + 200) / 2, 3);
        }
    }
}

}  // namespace
}  // namespace velmar::test
