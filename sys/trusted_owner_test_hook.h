#pragma once

#include <windows.h>

// For the tests only. Wine reports the Unix user's own security identifier as the owner of
// every file and keeps no other, so an entry of the Administrators group cannot be made there.
// A test stands in for the check of one open entry's owner.
using OwnerCheckCall = bool (*)(HANDLE entry);

// Puts call in place of the check whether the entry's owner is a trusted one and gives back
// the call it replaced.
OwnerCheckCall ReplaceOwnerCheckForTesting(OwnerCheckCall call);
