#pragma once

#include <windows.h>

#include "sys/test_seam.h"

// For the tests only. Every system Wine emulates has SetDefaultDllDirectories, so a test that
// shows the start on a Windows 7 without KB2533623 stands in for the lookup that finds it; a
// lookup that gives null is a system without it.
using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD flags);
using SetDefaultDllDirectoriesLookup = SetDefaultDllDirectoriesCall (*)();
extern TestSeam<SetDefaultDllDirectoriesLookup> g_setDefaultDllDirectoriesLookup;
