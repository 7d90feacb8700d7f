#include "app/system_monitor.h"

#include "support/fake_clock.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <unistd.h>

namespace velmar {
namespace {

void writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

// A /proc and /sys tree of our own, so that every figure is known exactly.
class SystemMonitorTree : public ::testing::Test {
  protected:
    QString proc() const { return dir.path() + "/proc"; }
    QString sys() const { return dir.path() + "/sys"; }

    // A stat line whose command name holds spaces and a parenthesis, as thread names may.
    void setThread(int tid, long long utime, long long stime) {
        writeFile(QStringLiteral("%1/self/task/%2/stat").arg(proc()).arg(tid),
                  QStringLiteral("%1 (velmar (a) b) S 1 1 1 0 -1 4194560 100 0 0 0 %2 %3 0 0 20 0 "
                                 "1 0 100 1000 50 18446744073709551615\n")
                      .arg(tid)
                      .arg(utime)
                      .arg(stime)
                      .toUtf8());
    }
    void removeThread(int tid) {
        QDir(QStringLiteral("%1/self/task/%2").arg(proc()).arg(tid)).removeRecursively();
    }
    void setSupply(const QString& name, const QByteArray& type, const QByteArray& key,
                   const QByteArray& value) {
        const QString base = sys() + "/class/power_supply/" + name;
        writeFile(base + "/type", type + "\n");
        writeFile(base + "/" + key, value + "\n");
    }
    std::unique_ptr<SystemMonitor> make(std::function<double()> gpu = [] { return 0.0; }) {
        SystemMonitor::Sources sources;
        sources.procRoot = proc();
        sources.sysRoot = sys();
        sources.clock = &clock;
        sources.timers = &clock;
        sources.gpuSeconds = std::move(gpu);
        sources.ticksPerSecond = 100;
        return std::make_unique<SystemMonitor>(sources);
    }

    QTemporaryDir dir;
    test::FakeClock clock;
};

TEST_F(SystemMonitorTree, CpuIsTheDifferenceOfThreadTicksOverHostTime) {
    setThread(10, 100, 50);
    setThread(11, 0, 0);
    setThread(12, 500, 0);
    auto monitor = make();
    monitor->sample();
    EXPECT_EQ(monitor->cpuPercent(), 0);  // nothing to difference against yet

    clock.advance(2.0);
    setThread(10, 160, 90);  // +100 ticks
    setThread(11, 30, 20);   // +50 ticks
    setThread(12, 400, 0);   // went backwards: counts as 0
    setThread(13, 900, 0);   // new since the last sample: skipped
    monitor->sample();
    EXPECT_DOUBLE_EQ(monitor->cpuPercent(), 150.0 / 100.0 / 2.0 * 100.0);

    clock.advance(1.0);
    removeThread(10);  // ended: skipped
    setThread(13, 950, 10);
    monitor->sample();
    EXPECT_DOUBLE_EQ(monitor->cpuPercent(), 60.0);

    // Without any host time between two samples there is no rate.
    setThread(13, 990, 10);
    monitor->sample();
    EXPECT_EQ(monitor->cpuPercent(), 0);
}

TEST_F(SystemMonitorTree, MemoryIsRssAgainstMemTotalAndUnreadableIsZero) {
    writeFile(proc() + "/meminfo", "MemFree:  100 kB\nMemTotal:  4194304 kB\n");
    writeFile(proc() + "/self/smaps_rollup",
              "55d0-7ffd ---p 00000000 00:00 0   [rollup]\nPss:    999 kB\nRss:  204800 kB\n");
    auto monitor = make();
    monitor->sample();
    EXPECT_DOUBLE_EQ(monitor->memoryMB(), 200.0);
    EXPECT_DOUBLE_EQ(monitor->memoryPercent(), 204800.0 / 4194304.0 * 100.0);

    QFile::remove(proc() + "/self/smaps_rollup");
    monitor->sample();
    EXPECT_EQ(monitor->memoryMB(), 0);
    EXPECT_EQ(monitor->memoryPercent(), 0);
}

TEST_F(SystemMonitorTree, GpuIsTheSmoothedTimeAgainstTheFrameBudgetCappedAt999) {
    double gpuSeconds = 0.010;
    auto monitor = make([&] { return gpuSeconds; });
    EXPECT_DOUBLE_EQ(monitor->frameBudget(), 1.0 / 59.94);
    monitor->setFrameBudget(1.0 / 60.0);
    monitor->sample();
    EXPECT_NEAR(monitor->gpuFramePercent(), 60.0, 1e-9);
    gpuSeconds = 20.0;
    monitor->sample();
    EXPECT_EQ(monitor->gpuFramePercent(), 999.0);
    monitor->setFrameBudget(0);
    monitor->sample();
    EXPECT_EQ(monitor->gpuFramePercent(), 0);
    EXPECT_EQ(monitor->thermal(), SystemMonitor::ThermalState::nominal);

    // The budget of a frame rate, 1/60 when the rate is not valid.
    EXPECT_DOUBLE_EQ(SystemMonitor::frameBudget(FrameRate{60000, 1001}), 1001.0 / 60000.0);
    EXPECT_DOUBLE_EQ(SystemMonitor::frameBudget(FrameRate{25, 1}), 0.04);
    EXPECT_DOUBLE_EQ(SystemMonitor::frameBudget(FrameRate{0, 1}), 1.0 / 60.0);
    EXPECT_DOUBLE_EQ(SystemMonitor::frameBudget(FrameRate{30, 0}), 1.0 / 60.0);
    EXPECT_DOUBLE_EQ(SystemMonitor::frameBudget(FrameRate{-30, -1}), 1.0 / 60.0);
}

TEST_F(SystemMonitorTree, BatteryOnlyWhenDischargingWithoutMainsOnline) {
    EXPECT_FALSE(SystemMonitor::isOnBattery(sys()));  // no power_supply folder at all
    setSupply("AC", "Mains", "online", "1");
    EXPECT_FALSE(SystemMonitor::isOnBattery(sys()));  // desktop on mains
    setSupply("BAT0", "Battery", "status", "Charging");
    EXPECT_FALSE(SystemMonitor::isOnBattery(sys()));  // laptop on its charger
    setSupply("BAT0", "Battery", "status", "Discharging");
    EXPECT_FALSE(SystemMonitor::isOnBattery(sys()));  // mains still reported online
    setSupply("AC", "Mains", "online", "0");
    EXPECT_TRUE(SystemMonitor::isOnBattery(sys()));
    auto monitor = make();
    monitor->sample();
    EXPECT_TRUE(monitor->onBattery());
}

// Thermal zones as the kernel lists them: millidegrees, trip points numbered from 0.
TEST_F(SystemMonitorTree, ThermalIsTheWorstZoneAgainstItsOwnTripPoints) {
    using State = SystemMonitor::ThermalState;
    auto setZone = [&](int zone, int temp, std::vector<std::pair<QByteArray, int>> trips) {
        const QString base = QStringLiteral("%1/class/thermal/thermal_zone%2").arg(sys()).arg(zone);
        writeFile(base + "/temp", QByteArray::number(temp) + "\n");
        for (size_t i = 0; i < trips.size(); ++i) {
            const QString trip = QStringLiteral("%1/trip_point_%2").arg(base).arg(i);
            writeFile(trip + "_type", trips[i].first + "\n");
            writeFile(trip + "_temp", QByteArray::number(trips[i].second) + "\n");
        }
    };
    EXPECT_EQ(SystemMonitor::thermalState(sys()), State::nominal);  // no thermal folder at all
    // A cooling device beside the zones is not a zone.
    writeFile(sys() + "/class/thermal/cooling_device0/cur_state", "3\n");
    EXPECT_EQ(SystemMonitor::thermalState(sys()), State::nominal);

    const std::vector<std::pair<QByteArray, int>> trips = {
        {"active", 50000}, {"passive", 80000}, {"hot", 90000}, {"critical", 100000}};
    setZone(0, 79999, trips);
    EXPECT_EQ(SystemMonitor::thermalState(sys()), State::nominal);  // past the fan step only
    setZone(0, 80000, trips);
    EXPECT_EQ(SystemMonitor::thermalState(sys()), State::fair);
    setZone(0, 95000, trips);
    EXPECT_EQ(SystemMonitor::thermalState(sys()), State::serious);
    setZone(0, 100000, trips);
    EXPECT_EQ(SystemMonitor::thermalState(sys()), State::critical);

    // The worst zone wins, whatever order the zones are listed in; a trip that is not set (0)
    // and a zone whose temperature cannot be read count for nothing.
    setZone(0, 40000, trips);
    setZone(1, 70000, {{"passive", 0}, {"critical", 65000}});
    EXPECT_EQ(SystemMonitor::thermalState(sys()), State::critical);
    setZone(1, 60000, {{"passive", 0}, {"critical", 65000}});
    setZone(2, 85000, {{"passive", 84000}});
    writeFile(sys() + "/class/thermal/thermal_zone3/temp", "unavailable\n");
    EXPECT_EQ(SystemMonitor::thermalState(sys()), State::fair);

    // A sample publishes it, and a change of state alone is a change.
    auto monitor = make();
    int changes = 0;
    QObject::connect(monitor.get(), &SystemMonitor::changed, [&] { ++changes; });
    monitor->sample();
    EXPECT_EQ(monitor->thermal(), State::fair);
    EXPECT_EQ(changes, 1);
    setZone(2, 60000, {{"passive", 84000}});
    monitor->sample();
    EXPECT_EQ(monitor->thermal(), State::nominal);
    EXPECT_EQ(changes, 2);
}

TEST_F(SystemMonitorTree, StartSamplesAtOnceThenEverySecondWithOneTimer) {
    setThread(10, 0, 0);
    auto monitor = make();
    int samples = 0;
    QObject::connect(monitor.get(), &SystemMonitor::changed, [&] { ++samples; });
    monitor->start();
    monitor->start();
    EXPECT_EQ(clock.activeTimerCount(), 1);
    EXPECT_EQ(samples, 0);  // the first sample has nothing to difference: every figure still 0
    for (int i = 1; i <= 3; ++i) {
        setThread(10, i * i * 10, 0);  // 10, 30, 50 ticks in each second
        clock.advance(1.0);
        EXPECT_DOUBLE_EQ(monitor->cpuPercent(), (2 * i - 1) * 10.0);
    }
    EXPECT_EQ(samples, 3);
}

// Against the resident size that ps reports for this process after 200 MiB were touched.
TEST(SystemMonitorLive, MemoryMatchesPs) {
    SystemMonitor monitor;
    const size_t size = 200u << 20;
    std::vector<char> block(size);
    for (size_t i = 0; i < size; i += 4096) block[i] = static_cast<char>(i);
    monitor.sample();
    QProcess ps;
    ps.start(QStringLiteral("ps"), {QStringLiteral("-o"), QStringLiteral("rss="),
                                    QStringLiteral("-p"), QString::number(::getpid())});
    ASSERT_TRUE(ps.waitForFinished(30000));
    const double psMB = ps.readAllStandardOutput().trimmed().toDouble() / 1024.0;
    EXPECT_GT(monitor.memoryMB(), 200.0);
    EXPECT_NEAR(monitor.memoryMB(), psMB, psMB * 0.05);
    EXPECT_GT(monitor.totalMemory(), 0);
    EXPECT_NEAR(monitor.memoryPercent(),
                monitor.memoryMB() * 1048576.0 / monitor.totalMemory() * 100.0, 1e-6);
    EXPECT_EQ(block[4096], static_cast<char>(4096));
}

}  // namespace
}  // namespace velmar
