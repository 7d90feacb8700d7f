// The LED cabinet dialog as a widget, offscreen.
#include "app/led_cabinet_dialog.h"

#include "models/language_settings.h"
#include "support/qt_printers.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace velmar::test {
namespace {

TEST(LEDCabinetDialogWidget, ShowsTheFieldsAndReturnsWhatWasTyped) {
    LanguageSettings::shared().setLanguage(AppLanguage::ja);
    LEDCabinetDialog dialog({"LED キャビネットの大きさ", "説明", "128", "128"});
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    EXPECT_EQ(dialog.widthField()->width(), LEDCabinetDialog::kFieldWidth);
    EXPECT_EQ(dialog.widthField()->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    EXPECT_TRUE(dialog.widthField()->hasFocus()) << "the width field answers first";
    QStringList labels;
    for (QLabel* label : dialog.findChildren<QLabel*>()) labels << label->text();
    EXPECT_TRUE(labels.contains("×") && labels.contains("px")) << labels.join('|').toStdString();
    QStringList buttons;
    for (QPushButton* button : dialog.findChildren<QPushButton*>()) buttons << button->text();
    EXPECT_EQ(buttons, QStringList({"出す", "キャンセル"}));

    dialog.widthField()->selectAll();
    QTest::keyClicks(dialog.widthField(), "+64");
    QTest::keyClick(&dialog, Qt::Key_Return);
    EXPECT_EQ(dialog.result(), QDialog::Accepted) << "Return presses the first button";
    EXPECT_EQ(dialog.prompt().widthText, "+64");
    EXPECT_EQ(dialog.prompt().heightText, "128");
}

}  // namespace
}  // namespace velmar::test
