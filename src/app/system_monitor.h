#pragma once

#include "models/frame_rate.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <unordered_map>

namespace velmar {

class HostClock;
class Timer;
class TimerFactory;

// How heavily the application loads the machine, sampled once a second on the main thread:
// the CPU use of the process over all its threads, its resident memory, the GPU time of one
// canvas frame against the frame budget, the thermal state and whether the machine runs on
// battery. The figures come from /proc and /sys (both roots injectable for tests); anything
// unreadable reads 0 or false for that sample and the next sample tries again.
//
// Thermal state: each kernel thermal zone's temperature is set against its own passive, hot
// and critical trip points (fair, serious, critical at or above them); the worst zone wins, and
// a machine without thermal zones is nominal.
class SystemMonitor : public QObject {
    Q_OBJECT
  public:
    enum class ThermalState { nominal, fair, serious, critical };

    struct Sources {
        QString procRoot = QStringLiteral("/proc");
        QString sysRoot = QStringLiteral("/sys");
        HostClock* clock = nullptr;      // null: the system clock
        TimerFactory* timers = nullptr;  // null: the system timer factory
        // The smoothed GPU seconds per canvas frame; null: the canvas views' shared sink.
        std::function<double()> gpuSeconds;
        long ticksPerSecond = 0;  // clock ticks of the stat files; 0: the system's
    };

    SystemMonitor();
    explicit SystemMonitor(Sources sources, QObject* parent = nullptr);
    ~SystemMonitor() override;

    static SystemMonitor& shared();

    // Starts sampling: one sample at once, then one a second. Later calls do nothing.
    void start();
    // Takes one sample and publishes the figures (changed() when any of them moved).
    void sample();

    double cpuPercent() const { return cpuPercent_; }
    double memoryPercent() const { return memoryPercent_; }
    double memoryMB() const { return memoryMB_; }
    double gpuFramePercent() const { return gpuFramePercent_; }
    ThermalState thermal() const { return thermal_; }
    bool onBattery() const { return onBattery_; }
    double totalMemory() const { return totalMemory_; }

    // Seconds one output frame may take; set by the main window from the engine's frame rate.
    double frameBudget() const { return frameBudget_; }
    void setFrameBudget(double seconds) { frameBudget_ = seconds; }
    // One frame period of `rate` in seconds; 1/60 when the rate is not valid.
    static double frameBudget(const FrameRate& rate);

    // The power-supply test over `sysRoot`/class/power_supply: a battery that is discharging
    // while no mains supply is online.
    static bool isOnBattery(const QString& sysRoot);
    // The thermal test over `sysRoot`/class/thermal/thermal_zone*: the worst zone's state.
    static ThermalState thermalState(const QString& sysRoot);

  signals:
    void changed();

  private:
    double readCpuPercent();
    double readRssBytes() const;

    Sources sources_;
    HostClock& clock_;
    TimerFactory& timers_;
    std::unique_ptr<Timer> timer_;
    std::string taskDir_;
    std::string smapsPath_;
    std::unordered_map<long, long long> lastTicks_;  // thread id -> utime + stime
    double lastSampleTime_ = -1;

    double cpuPercent_ = 0;
    double memoryPercent_ = 0;
    double memoryMB_ = 0;
    double gpuFramePercent_ = 0;
    ThermalState thermal_ = ThermalState::nominal;
    bool onBattery_ = false;
    double frameBudget_ = 1.0 / 59.94;
    double totalMemory_ = 0;
};

}  // namespace velmar
