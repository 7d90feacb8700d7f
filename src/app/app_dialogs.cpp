#include "app/app_dialogs.h"

#include "app/led_cabinet_dialog.h"

#include <QApplication>

namespace velmar {
namespace {

class WidgetDialogs final : public AppDialogs {
  public:
    bool runLEDCabinetDialog(LEDCabinetPrompt& prompt) override {
        LEDCabinetDialog dialog(prompt, QApplication::activeWindow());
        const bool confirmed = dialog.exec() == QDialog::Accepted;
        if (confirmed) prompt = dialog.prompt();
        return confirmed;
    }
};

}  // namespace

AppDialogs& AppDialogs::standard() {
    static WidgetDialogs dialogs;
    return dialogs;
}

}  // namespace velmar
