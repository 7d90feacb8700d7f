#pragma once

#include "ui/panels/transport_movie.h"

#include <QString>
#include <QStringList>

namespace velmar::test {

// A movie for the transport bar that records what the bar asks of it.
class FakeTransportMovie final : public TransportMovie {
  public:
    float rate = 0;
    bool wantsPlay = false;
    float desiredRate = 1;
    double duration = 120;
    double current = 0;
    QStringList calls;

    float playerRate() const override { return rate; }
    void setPlayerRate(float r) override { rate = r, calls << QString::asprintf("rate %g", r); }
    void pausePlayer() override { rate = 0, calls << "pause"; }
    void setWantsPlay(bool wants) override { wantsPlay = wants; }
    void setDesiredRate(float r) override { desiredRate = r; }
    void stepFrame(int direction) override { calls << QString::asprintf("step %d", direction); }
    void seek(double s, bool precise) override {
        calls << QString::asprintf("seek %g %s", s, precise ? "precise" : "loose");
    }
    double durationSeconds() const override { return duration; }
    double currentTimeSeconds() const override { return current; }
};

}  // namespace velmar::test
