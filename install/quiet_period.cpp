#include "install/quiet_period.h"

#include "install/quiet_period_test_hook.h"
#include "log/trace_log.h"

TestSeam<unsigned long> g_quietPeriodMs{kQuietPeriodMs};

unsigned long QuietPeriodMs() { return g_quietPeriodMs.Get(); }

void TraceTimedOut(FuncTrace& scope) {
    TraceMsg(scope, "Request timed out___(nothing received for %lu ms)", QuietPeriodMs());
}
