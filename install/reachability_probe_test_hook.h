#pragma once

#include "sys/test_seam.h"

// For the tests only. A process out of threads cannot start the probe's check; while this is
// true, the probe's start fails as the platform's would.
extern TestSeam<bool> g_probeThreadRefused;
