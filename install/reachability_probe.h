#pragma once

#include <string>

class FuncTrace;

// Whether the service at url answers a forced connection check. A check still waiting after
// the quiet period (quiet_period.h) counts as an unreachable service and is traced as timed
// out through scope; it is left to end by itself. A check whose thread cannot be started counts
// as unreachable too, traced as "Probe thread create fail___".
bool ServiceAnswers(FuncTrace& scope, const std::wstring& url);
