#pragma once

#include <windows.h>

#include "sys/test_seam.h"

// For the tests only. Wine reports the Unix user's own security identifier as the owner of
// every file and keeps no other, so an entry of the Administrators group cannot be made there.
// A test stands in for the check of one open entry's owner.
using OwnerCheckCall = bool (*)(HANDLE entry);
extern TestSeam<OwnerCheckCall> g_ownerCheck;
