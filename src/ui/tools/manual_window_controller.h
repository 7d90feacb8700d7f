#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace velmar {

class LanguageSettings;

// The manual window ("velmar.manual"): show() brings an open window to the front or builds a
// new one with the manual view, titled in the language of that moment. The keyboard control
// surface passes every key on while this window is the key window.
class ManualWindowController : public QObject {
    Q_OBJECT

  public:
    static constexpr const char* kIdentifier = "velmar.manual";
    static constexpr int kContentWidth = 620;
    static constexpr int kContentHeight = 720;

    // The language defaults to LanguageSettings::shared().
    explicit ManualWindowController(LanguageSettings* language = nullptr,
                                    QObject* parent = nullptr);
    ~ManualWindowController() override;

    void show();
    QWidget* window() const { return window_; }

  private:
    LanguageSettings* language_;
    QPointer<QWidget> window_;
};

}  // namespace velmar
