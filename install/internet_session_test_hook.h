#pragma once

#include <windows.h>
#include <wininet.h>

// For the tests only. Windows refuses an option that bounds a wait on a handle that does not
// take it; Wine takes every one of them on any handle. A test puts its own setting of the
// options in the platform's place here (null for the platform's) and gets back the one it
// replaced.
using SetOptionFunction = BOOL (*)(HINTERNET handle, DWORD option, LPVOID buffer, DWORD length);
SetOptionFunction ReplaceSetOptionForTesting(SetOptionFunction setOption);
