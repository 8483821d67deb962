#include "install/quiet_period.h"

#include <atomic>

#include "install/quiet_period_test_hook.h"
#include "log/trace_log.h"

namespace {

std::atomic<unsigned long> g_quietPeriodMs{kQuietPeriodMs};

}  // namespace

unsigned long QuietPeriodMs() { return g_quietPeriodMs.load(); }

unsigned long ReplaceQuietPeriodForTesting(unsigned long periodMs) {
    return g_quietPeriodMs.exchange(periodMs);
}

void TraceTimedOut(FuncTrace& scope) {
    TraceMsg(scope, "Request timed out___(nothing received for %lu ms)", QuietPeriodMs());
}
