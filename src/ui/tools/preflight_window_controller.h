#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

namespace velmar {

class PreflightRunner;

// The pre-show check window ("velmar.preflight"): one at a time, holding the only runner. show()
// brings an open window to the front, or builds the window, its view and a new runner. Closing
// the window lets go of all three; a soak test still running then ends at once (its end is
// logged, and an output it started is stopped).
class PreflightWindowController : public QObject {
    Q_OBJECT

  public:
    static constexpr const char* kIdentifier = "velmar.preflight";
    static constexpr int kContentWidth = 520;
    static constexpr int kContentHeight = 460;

    using RunnerFactory = std::function<std::unique_ptr<PreflightRunner>()>;

    // The application's controller: runners over AppState::shared() and its engine. Lives for
    // the whole process.
    static PreflightWindowController& shared();

    // makeRunner builds the runner of each new window; openLog is handed to the view.
    explicit PreflightWindowController(RunnerFactory makeRunner,
                                       std::function<void()> openLog = {});
    ~PreflightWindowController() override;

    void show();

    // The open window, or null.
    QWidget* window() const { return window_; }
    PreflightRunner* runner() const { return runner_.get(); }

  private:
    void windowGone();

    RunnerFactory makeRunner_;
    std::function<void()> openLog_;
    QPointer<QWidget> window_;
    std::unique_ptr<PreflightRunner> runner_;
};

}  // namespace velmar
