#pragma once

// For the tests only. A process out of threads cannot start the probe's check; while refused
// is set, the probe's start fails as the platform's would, and the previous setting comes back.
bool RefuseProbeThreadForTesting(bool refused);
