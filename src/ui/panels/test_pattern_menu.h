#pragma once

#include "render/led_cabinet_size.h"
#include "render/test_pattern_kind.h"

#include <QMenu>

#include <functional>
#include <optional>

namespace velmar {

class AppState;

// The content of the "テストパターン" menu, rebuilt from TestPatternMenuDescription whenever the
// shown pattern changes and each time the menu opens (so the LED item shows the current cabinet
// size). Pattern items all go through the toggle; the clear item clears directly.
class TestPatternMenu : public QMenu {
    Q_OBJECT
  public:
    struct Bindings {
        std::function<std::optional<TestPatternKind>()> testPattern;
        std::function<LEDCabinetSize()> ledCabinet;
        std::function<void(TestPatternKind)> toggle;  // AppState::toggleTestPattern
        std::function<void()> clear;                  // PlayoutEngine::clearTestPattern
    };

    TestPatternMenu(Bindings bindings, QWidget* parent = nullptr);
    // Bound to the application state and its engine; rebuilds on the engine's testPatternChanged.
    explicit TestPatternMenu(AppState& app, QWidget* parent = nullptr);

    void rebuild();
    QAction* clearAction() const { return clearAction_; }

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void retranslate();

    Bindings bindings_;
    QAction* clearAction_ = nullptr;
};

}  // namespace velmar
