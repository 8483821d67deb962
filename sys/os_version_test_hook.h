#pragma once

#include <windows.h>

#include "sys/test_seam.h"

// For the tests only. Wine's workstation service always answers, so the methods behind it
// (the native call, the version functions and the probing) run only when a test stands in
// for the platform here.
//
// The platform's three answers that GetOSVersion asks in turn.
struct OsVersionPlatform {
    // NetWkstaGetInfo at level 100: the service's major and minor version.
    bool (*workstation)(DWORD& major, DWORD& minor);
    // RtlGetVersion on info; false when NtDll.dll or the function is missing.
    bool (*native)(RTL_OSVERSIONINFOW& info);
    // GetVersionExW on info.
    bool (*versionFunctions)(OSVERSIONINFOEXW& info);
};

// Every change empties the version cache.
extern TestSeam<const OsVersionPlatform*> g_osVersionPlatform;
