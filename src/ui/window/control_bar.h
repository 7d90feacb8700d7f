#pragma once

#include "output/obs_transport.h"

#include <QWidget>

class QCheckBox;

namespace velmar {

class MainWindowModel;

// Row 5 of the main window: the switches of SDI output, the sub-monitor window, the OBS feed and
// the chroma-key background. The three output switches run their start or stop command when
// flipped and then show the published state, whatever the command did; the chroma-key switch
// writes its setting. refresh() follows the published state without running anything.
class ControlBar : public QWidget {
    Q_OBJECT
  public:
    explicit ControlBar(MainWindowModel& model, QWidget* parent = nullptr);

    // "OBS(NDI)" or "OBS(Syphon)".
    static QString obsLabel(OBSTransport transport);
    // The help text key of the OBS switch.
    static const char* obsHelpKey(OBSTransport transport);

    void refresh();
    void setScale(double s);

    QCheckBox* sdiSwitch() const { return sdi_; }
    QCheckBox* outputSwitch() const { return output_; }
    QCheckBox* obsSwitch() const { return obs_; }
    QCheckBox* chromaKeySwitch() const { return chromaKey_; }

  protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    void retranslate();
    void place();

    MainWindowModel& model_;
    QCheckBox* sdi_ = nullptr;
    QCheckBox* output_ = nullptr;
    QCheckBox* obs_ = nullptr;
    QCheckBox* chromaKey_ = nullptr;
    double scale_ = 1;
};

}  // namespace velmar
