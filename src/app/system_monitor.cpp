#include "app/system_monitor.h"

#include "output/gpu_time_sink.h"
#include "platform/base/host_clock.h"
#include "platform/base/timer.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <optional>
#include <string_view>

namespace velmar {

namespace {

// Reads up to `size` bytes of a small file (a /proc or /sys entry) into `buffer`; empty when the
// file cannot be read.
std::string_view readSmallFile(const std::string& path, char* buffer, size_t size) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    size_t used = 0;
    while (used < size) {
        const ssize_t n = ::read(fd, buffer + used, size - used);
        if (n <= 0) break;
        used += static_cast<size_t>(n);
    }
    ::close(fd);
    return {buffer, used};
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    return s;
}

// utime + stime of one thread's stat line: the 14th and 15th fields, counted after the command
// name in parentheses (which may itself hold spaces and parentheses).
std::optional<long long> threadTicks(std::string_view stat) {
    const size_t close = stat.rfind(')');
    if (close == std::string_view::npos) return std::nullopt;
    std::string_view rest = stat.substr(close + 1);
    long long values[2] = {0, 0};
    int field = 2;  // the command name was field 2
    size_t pos = 0;
    while (field < 15) {
        while (pos < rest.size() && rest[pos] == ' ') ++pos;
        if (pos >= rest.size()) return std::nullopt;
        size_t end = rest.find(' ', pos);
        if (end == std::string_view::npos) end = rest.size();
        ++field;
        if (field == 14 || field == 15) {
            long long v = 0;
            const auto [ptr, ec] = std::from_chars(rest.data() + pos, rest.data() + end, v);
            if (ec != std::errc() || v < 0) return std::nullopt;
            values[field - 14] = v;
        }
        pos = end;
    }
    return values[0] + values[1];
}

// The number in kB after `key` in a "Key:   value kB" listing; none when absent.
std::optional<double> kilobytesAfter(std::string_view text, std::string_view key) {
    size_t at = 0;
    while ((at = text.find(key, at)) != std::string_view::npos) {
        if (at == 0 || text[at - 1] == '\n') break;
        at += key.size();
    }
    if (at == std::string_view::npos) return std::nullopt;
    size_t pos = at + key.size();
    while (pos < text.size() && text[pos] == ' ') ++pos;
    long long kb = 0;
    const auto [ptr, ec] = std::from_chars(text.data() + pos, text.data() + text.size(), kb);
    if (ec != std::errc() || kb < 0) return std::nullopt;
    return static_cast<double>(kb) * 1024.0;
}

}  // namespace

SystemMonitor::SystemMonitor(Sources sources, QObject* parent)
    : QObject(parent),
      sources_(std::move(sources)),
      clock_(sources_.clock ? *sources_.clock : HostClock::system()),
      timers_(sources_.timers ? *sources_.timers : TimerFactory::system()) {
    if (!sources_.gpuSeconds) sources_.gpuSeconds = [] { return GpuTimeSink::shared().seconds(); };
    if (sources_.ticksPerSecond <= 0) sources_.ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    const std::string proc = sources_.procRoot.toStdString();
    taskDir_ = proc + "/self/task";
    smapsPath_ = proc + "/self/smaps_rollup";
    char buffer[4096];
    if (const auto total =
            kilobytesAfter(readSmallFile(proc + "/meminfo", buffer, sizeof buffer), "MemTotal:")) {
        totalMemory_ = *total;
    }
}

SystemMonitor::SystemMonitor() : SystemMonitor(Sources{}) {}

SystemMonitor::~SystemMonitor() = default;

SystemMonitor& SystemMonitor::shared() {
    static SystemMonitor* monitor = new SystemMonitor();  // lives for the whole process
    return *monitor;
}

void SystemMonitor::start() {
    if (timer_) return;
    timer_ = timers_.makeTimer([this] { sample(); });
    timer_->start(1.0, true);
    sample();
}

double SystemMonitor::frameBudget(const FrameRate& rate) {
    if (rate.timeScale <= 0 || rate.frameDuration <= 0) return 1.0 / 60.0;
    return static_cast<double>(rate.frameDuration) / static_cast<double>(rate.timeScale);
}

double SystemMonitor::readCpuPercent() {
    std::unordered_map<long, long long> ticks;
    ticks.reserve(lastTicks_.size() + 8);
    if (DIR* dir = ::opendir(taskDir_.c_str())) {
        std::string path;
        char buffer[1024];
        while (const dirent* entry = ::readdir(dir)) {
            long tid = 0;
            const char* name = entry->d_name;
            const auto [ptr, ec] = std::from_chars(name, name + std::strlen(name), tid);
            if (ec != std::errc() || *ptr != '\0') continue;
            path.assign(taskDir_).append("/").append(name).append("/stat");
            if (const auto t = threadTicks(readSmallFile(path, buffer, sizeof buffer))) {
                ticks.emplace(tid, *t);
            }
        }
        ::closedir(dir);
    }
    const double now = clock_.now();
    const double elapsed = lastSampleTime_ < 0 ? 0 : now - lastSampleTime_;
    long long used = 0;
    if (elapsed > 0) {
        // Threads that started or ended between the two samples have no difference to count.
        for (const auto& [tid, t] : ticks) {
            const auto before = lastTicks_.find(tid);
            if (before != lastTicks_.end()) used += std::max(0LL, t - before->second);
        }
    }
    lastTicks_ = std::move(ticks);
    lastSampleTime_ = now;
    if (!(elapsed > 0)) return 0;
    return static_cast<double>(used) / static_cast<double>(sources_.ticksPerSecond) / elapsed *
           100.0;
}

double SystemMonitor::readRssBytes() const {
    char buffer[2048];
    return kilobytesAfter(readSmallFile(smapsPath_, buffer, sizeof buffer), "Rss:").value_or(0);
}

bool SystemMonitor::isOnBattery(const QString& sysRoot) {
    const std::string base = sysRoot.toStdString() + "/class/power_supply";
    DIR* dir = ::opendir(base.c_str());
    if (!dir) return false;
    bool discharging = false;
    bool mainsOnline = false;
    char buffer[64];
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        const std::string supply = base + "/" + entry->d_name;
        const std::string_view type =
            trimmed(readSmallFile(supply + "/type", buffer, sizeof buffer));
        if (type == "Mains") {
            mainsOnline = mainsOnline ||
                          trimmed(readSmallFile(supply + "/online", buffer, sizeof buffer)) == "1";
        } else if (type == "Battery") {
            discharging = discharging || trimmed(readSmallFile(supply + "/status", buffer,
                                                               sizeof buffer)) == "Discharging";
        }
    }
    ::closedir(dir);
    return discharging && !mainsOnline;
}

namespace {

// The number in a sysfs value such as a temperature in millidegrees; none when unreadable.
std::optional<long long> readNumber(const std::string& path) {
    char buffer[64];
    const std::string_view text = trimmed(readSmallFile(path, buffer, sizeof buffer));
    long long value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
    return value;
}

// One zone's state: its temperature against the trip points it declares. Trips of other kinds
// (active fan steps) and trips that are not set (a temperature of 0 or below) do not count.
SystemMonitor::ThermalState zoneState(const std::string& zone) {
    using State = SystemMonitor::ThermalState;
    const auto temperature = readNumber(zone + "/temp");
    if (!temperature) return State::nominal;
    State state = State::nominal;
    char buffer[64];
    for (int trip = 0;; ++trip) {
        const std::string prefix = zone + "/trip_point_" + std::to_string(trip);
        const std::string_view type =
            trimmed(readSmallFile(prefix + "_type", buffer, sizeof buffer));
        if (type.empty()) break;
        State reached = State::nominal;
        if (type == "passive") {
            reached = State::fair;
        } else if (type == "hot") {
            reached = State::serious;
        } else if (type == "critical") {
            reached = State::critical;
        } else {
            continue;
        }
        const auto limit = readNumber(prefix + "_temp");
        if (limit && *limit > 0 && *temperature >= *limit) state = std::max(state, reached);
    }
    return state;
}

}  // namespace

SystemMonitor::ThermalState SystemMonitor::thermalState(const QString& sysRoot) {
    const std::string base = sysRoot.toStdString() + "/class/thermal";
    DIR* dir = ::opendir(base.c_str());
    if (!dir) return ThermalState::nominal;
    ThermalState worst = ThermalState::nominal;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::string_view(entry->d_name).substr(0, 12) != "thermal_zone") continue;
        worst = std::max(worst, zoneState(base + "/" + entry->d_name));
    }
    ::closedir(dir);
    return worst;
}

void SystemMonitor::sample() {
    const double cpu = readCpuPercent();
    const double rss = readRssBytes();
    const double memoryMB = rss * 9.5367431640625e-7;
    const double memoryPercent = totalMemory_ > 0 ? rss / totalMemory_ * 100.0 : 0;
    double gpu = 0;
    if (frameBudget_ > 0) gpu = std::min(sources_.gpuSeconds() / frameBudget_ * 100.0, 999.0);
    const ThermalState thermal = thermalState(sources_.sysRoot);
    const bool battery = isOnBattery(sources_.sysRoot);

    const bool moved = cpu != cpuPercent_ || memoryMB != memoryMB_ ||
                       memoryPercent != memoryPercent_ || gpu != gpuFramePercent_ ||
                       thermal != thermal_ || battery != onBattery_;
    cpuPercent_ = cpu;
    memoryMB_ = memoryMB;
    memoryPercent_ = memoryPercent;
    gpuFramePercent_ = gpu;
    thermal_ = thermal;
    onBattery_ = battery;
    if (moved) emit changed();
}

}  // namespace velmar
