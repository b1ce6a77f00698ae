#pragma once

// The time the simulated ports run on: the steady clock in the program, a manual one in tests, which
// then run without waiting.

#include <algorithm>
#include <cstdint>
#include <memory>

class TSimClock {
public:
    virtual ~TSimClock() = default;
    virtual std::int64_t NowNs() = 0;
    // Returns once the clock shows at least timeNs.
    virtual void SleepUntil(std::int64_t timeNs) = 0;
};

// A clock that moves only when told to, or when a port sleeps on it: a sleep jumps to its end.
class TManualSimClock : public TSimClock {
public:
    std::int64_t NowNs() override { return FNow; }
    void SleepUntil(std::int64_t timeNs) override { FNow = std::max(FNow, timeNs); }
    void Advance(std::int64_t nanoseconds) { FNow += std::max<std::int64_t>(nanoseconds, 0); }

private:
    std::int64_t FNow = 0;
};

// The steady clock of the machine.
std::shared_ptr<TSimClock> SteadySimClock();
