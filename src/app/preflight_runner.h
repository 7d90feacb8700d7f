#pragma once

#include "render/sdi_bit_depth.h"
#include "sdi/zr_deck_link_device.h"
#include "sdi/zr_deck_link_mode.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace velmar {

struct Clip;
class DeckLinkController;
class PlayoutEngine;
class PlayoutLog;
class Timer;
class TimerFactory;

// The pre-show check: five quick checks of the rundown's media, the canvas format, the SDI
// device and the storage that holds the media, each published as one line, and the SDI soak
// test, a real run of the SDI output for some seconds that counts the frames it dropped. Each
// check run and each soak writes lines to the operation log ("PREFLIGHT  ...", "SOAK START  30s",
// "SOAK END  dropped=0").
//
// Titles and messages are looked up when a line is made and stored finished, so a list keeps
// the language it was made in. The soak counts down on a 1 s timer from the timer factory; on
// every tick it makes sure the output it measures is still the one it began with, and ends as
// failed when it is not (stopped, or stopped and started again, which also restarts the count).
//
// Main thread only. The engine and the host must outlive the runner.
class PreflightRunner : public QObject {
    Q_OBJECT

  public:
    struct Item {
        enum class Status { pending, running, ok, warning, failed };

        QUuid id = QUuid::createUuid();
        QString title;
        Status status = Status::pending;
        QString detail;
    };

    // What the runner needs of the application state: the SDI device settings and list, the
    // SDI controller and the commands that start and stop its output.
    class Host {
      public:
        virtual ~Host() = default;
        // Reads the device list again and moves the selected index into it.
        virtual void refreshDeckLinkDevices() = 0;
        virtual std::vector<ZRDeckLinkDevice> availableDeckLinkDevices() const = 0;
        virtual long long selectedDeckLinkIndex() const = 0;
        virtual SDIBitDepth sdiBitDepth() const = 0;
        virtual bool useExternalKeyer() const = 0;
        // Null when there is no SDI controller.
        virtual DeckLinkController* deckLink() = 0;
        virtual bool isDeckLinkRunning() const = 0;
        // Start reports its own failure (and leaves isDeckLinkRunning() false).
        virtual void startDeckLink() = 0;
        virtual void stopDeckLink() = 0;
        // The modes a device plays; by default the SDI driver of this process is asked.
        virtual std::vector<ZRDeckLinkMode> supportedModes(long long deviceIndex,
                                                           SDIBitDepth bitDepth,
                                                           bool externalKeyer) const;
    };

    struct Services {
        PlayoutLog* log = nullptr;       // null: PlayoutLog::shared()
        TimerFactory* timers = nullptr;  // null: TimerFactory::system()
        // Whether a folder's volume is internal; nothing when that cannot be told. Empty: the
        // platform's lookup.
        std::function<std::optional<bool>(const QString& folder)> volumeIsInternal;
    };

    static constexpr int kCheckCount = 5;
    static constexpr int kMediaNamesShown = 5;

    // The status as written into the log: "pending", "running", "ok", "warning", "failed".
    static QString rawValue(Item::Status status);

    // With the shared log, the system timers and the platform's volume lookup.
    PreflightRunner(PlayoutEngine& engine, Host& app, QObject* parent = nullptr);
    PreflightRunner(PlayoutEngine& engine, Host& app, Services services, QObject* parent = nullptr);
    // Ends a soak test still running as cancelSoak() does.
    ~PreflightRunner() override;

    const QList<Item>& items() const { return items_; }
    bool isRunning() const { return isRunning_; }
    int soakRemaining() const { return soakRemaining_; }

    // Replaces the list with the five check lines and runs the checks; ignored while a run is
    // under way.
    void run();
    // Starts a soak test of `seconds` (at least 1). Nothing happens without an SDI controller,
    // while a soak runs, or when the output cannot be started (the start reports its failure).
    void runSoak(int seconds);
    // Ends a running soak test at once (its window closes): logs the end with the frames dropped
    // so far and stops the output when the test started it. Adds no line.
    void cancelSoak();

  signals:
    void itemsChanged();
    void isRunningChanged(bool running);
    void soakRemainingChanged(int seconds);

  private:
    struct Soak {
        std::uint64_t startCount = 0;
        std::uint64_t generation = 0;
        std::uint64_t dropped = 0;  // dropped since the start, as of the last intact tick
        bool wasRunning = false;
        int seconds = 0;
    };

    QList<Clip> allClips() const;
    void checkMedia(int index);
    void checkResolution(int index);
    void checkFormat(int index);
    void checkDevice(int index);
    void checkStorage(int index);
    void set(int index, Item::Status status, const QString& detail);

    void tick();
    // Whether the controller still runs the output the soak started with; updates the count.
    bool soakOutputIntact();
    void endSoak();
    void setSoakRemaining(int seconds);
    void appendSoakItem(Item::Status status, const QString& detail);
    void writeLog(const QString& line);

    PlayoutEngine& engine_;
    Host& app_;
    Services services_;
    QList<Item> items_;
    bool isRunning_ = false;
    int soakRemaining_ = 0;
    std::optional<Soak> soak_;
    std::unique_ptr<Timer> timer_;
};

}  // namespace velmar
