#pragma once

// For the tests only. The program always waits the quiet period of quiet_period.h; a test
// whose rows stall a request shortens it here, so that they take seconds, and gives back the
// period it replaced. Only code linked into the test program can call this.
unsigned long ReplaceQuietPeriodForTesting(unsigned long periodMs);
