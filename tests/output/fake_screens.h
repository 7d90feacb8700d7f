#pragma once

#include "platform/power/display_sleep_inhibitor.h"
#include "platform/screens/screen_provider.h"

#include <vector>

namespace velmar::test {

// Screens and windows as the test sets them.
struct FakeScreenProvider final : ScreenProvider {
    QList<ScreenInfo> list;
    QList<VisibleWindow> windows;

    void add(const QString& identity, QRect geometry) {
        ScreenInfo s;
        s.identity = s.name = identity;
        s.geometry = geometry;
        list.append(s);
    }
    QList<ScreenInfo> screens() const override { return list; }
    QList<VisibleWindow> visibleWindows() const override { return windows; }
    QScreen* platformScreen(const QString&) const override { return nullptr; }
};

// Records inhibitions; `available` false makes them fail.
struct FakeInhibitor final : DisplaySleepInhibitor {
    bool available = true;
    QStringList reasons;
    std::vector<uint32_t> released;
    uint32_t next = 7;

    std::optional<uint32_t> inhibit(const QString& reason) override {
        reasons.append(reason);
        if (!available) return std::nullopt;
        return next++;
    }
    void release(uint32_t cookie) override { released.push_back(cookie); }
};

}  // namespace velmar::test
