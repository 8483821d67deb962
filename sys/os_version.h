#pragma once

#include <windows.h>

// The running Windows version as major and minor number. The workstation service's answer
// is kept for the rest of the process; the other methods are asked again on every call.
// True when a major version other than 0 was found (both outputs 0 otherwise).
bool GetOSVersion(DWORD& major, DWORD& minor);

// True when the running Windows is of the NT platform and at least major.minor.
bool IsOSVersionAtLeast(DWORD major, DWORD minor);
