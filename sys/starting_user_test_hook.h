#pragma once

#include <windows.h>

#include "sys/test_seam.h"

// For the tests only. Wine gives every process the same Unix user, who owns every file, so the
// limited token linked to Wine's elevated one may do everything the elevated one may; a
// folder open only to administrators cannot be made there. A test stands in for the answer
// that the limited token would give.
using StartingUserAccessCall = bool (*)(HANDLE object, DWORD access);
extern TestSeam<StartingUserAccessCall> g_startingUserAccess;

// Wine's elevated token always has a limited token linked to it. True makes the check take the
// road of a token without a link (a restricted copy of the process's own token), read afresh on
// every check; false is the process's own standing.
extern TestSeam<bool> g_ignoreLinkedToken;
