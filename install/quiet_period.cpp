#include "install/quiet_period.h"

#include <windows.h>
#include <atomic>

#include "install/quiet_period_test_hook.h"
#include "log/trace_log.h"

namespace {

// The platform's waits may end a tick early by the clock that measures them.
constexpr unsigned long long kClockSlackMs = 100;

std::atomic<unsigned long> g_quietPeriodMs{kQuietPeriodMs};

}  // namespace

unsigned long QuietPeriodMs() { return g_quietPeriodMs.load(); }

unsigned long ReplaceQuietPeriodForTesting(unsigned long periodMs) {
    return g_quietPeriodMs.exchange(periodMs);
}

QuietClock::QuietClock() : m_start(GetTickCount64()) {}

bool QuietClock::WaitedOut() const {
    return GetTickCount64() - m_start + kClockSlackMs >= QuietPeriodMs();
}

void TraceTimedOut(FuncTrace& scope) {
    TraceMsg(scope, "Request timed out___(nothing received for %lu ms)", QuietPeriodMs());
}
