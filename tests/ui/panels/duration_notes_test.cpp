// The notes of the duration pad and sheet are drawn dimmed, below the brightness of the titles.
#include "core/engine_fixture.h"

#include "models/localized.h"
#include "ui/controls/app_appearance.h"
#include "ui/controls/palette.h"
#include "ui/panels/duration_editor_sheet.h"
#include "ui/panels/duration_entry_pad.h"

#include <QImage>
#include <QLabel>

#include <algorithm>

namespace velmar::test {
namespace {

// The brightest grey level of the label's text, as drawn in its window on the dark palette.
int brightestText(QWidget& window, const QString& text) {
    QLabel* found = nullptr;
    for (QLabel* label : window.findChildren<QLabel*>())
        if (label->text() == text) found = label;
    EXPECT_NE(found, nullptr) << text.toStdString();
    if (!found) return -1;
    const QImage image = window.grab().toImage();
    const QRect area = QRect(found->mapTo(&window, QPoint(0, 0)), found->size());
    int brightest = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            brightest = std::max(brightest, qGray(image.pixel(x, y)));
    return brightest;
}

using DurationNotesTest = EngineFixture;

TEST_F(DurationNotesTest, PadAndSheetNotesAreInTheSecondaryColourAndTitlesAreNot) {
    const int secondary = qGray(Palette::secondaryText().rgb());
    loadTab(stills(3), 1);

    DurationEntryPad pad(
        0.5, {0.1, 5.0}, QStringLiteral("デュレーション（秒）"), false, true,
        [](std::optional<double>) {}, [] {});
    pad.setPalette(AppAppearance::darkPalette());
    pad.show();
    const int padNote = brightestText(pad, localized("空欄にすると既定値を使います。"));
    EXPECT_GT(padNote, 100) << "the note is drawn";
    EXPECT_LE(padNote, secondary + 3);
    EXPECT_GT(brightestText(pad, localized("デュレーション（秒）")), secondary + 30);

    DurationEditorSheet sheet(*engine, {true,
                                        [this] {
                                            QSet<QUuid> ids;
                                            for (const Clip& clip : rundown().groups()[0].clips)
                                                ids.insert(clip.id);
                                            return ids;
                                        },
                                        [] {}});
    sheet.setPalette(AppAppearance::darkPalette());
    sheet.show();
    ASSERT_TRUE(sheet.showsNote());
    const int sheetNote =
        brightestText(sheet, localized("選択していないので、このタブの素材すべてが対象です。"));
    EXPECT_GT(sheetNote, 100) << "the note is drawn";
    EXPECT_LE(sheetNote, secondary + 3);
    EXPECT_GT(brightestText(sheet, sheet.title()), secondary + 30);
}

}  // namespace
}  // namespace velmar::test
