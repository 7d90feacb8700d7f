#pragma once

#include <QWidget>

namespace velmar {

// A plain top-level window whose title is a localisation key: the title is looked up when the
// window is made and again at every change of the interface language.
class TitledWindow : public QWidget {
  public:
    TitledWindow(const char* titleKey, Qt::WindowFlags flags);

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void retranslate();

    const char* titleKey_;
};

}  // namespace velmar
