#pragma once

#include <windows.h>

// For the tests only. Wine keeps no DACL beyond the Unix mode bits, so a descriptor that
// grants nothing, or everything, looks the same there as the right one; a test stands in for
// the call that writes the descriptor and looks at what the grant hands it.
using SetFileSecurityCall = BOOL(WINAPI*)(LPCWSTR path, SECURITY_INFORMATION what,
                                          PSECURITY_DESCRIPTOR descriptor);

// Puts call in place of SetFileSecurityW and gives back the call it replaced.
SetFileSecurityCall ReplaceSetFileSecurityForTesting(SetFileSecurityCall call);

// The same for the grant on an open file, which writes through SetKernelObjectSecurity.
using SetHandleSecurityCall = BOOL(WINAPI*)(HANDLE object, SECURITY_INFORMATION what,
                                            PSECURITY_DESCRIPTOR descriptor);
SetHandleSecurityCall ReplaceSetHandleSecurityForTesting(SetHandleSecurityCall call);
