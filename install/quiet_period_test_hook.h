#pragma once

#include "sys/test_seam.h"

// For the tests only. The program always waits the quiet period of quiet_period.h; a test
// whose rows stall a request shortens it here, so that they take seconds.
extern TestSeam<unsigned long> g_quietPeriodMs;
