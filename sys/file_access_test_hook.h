#pragma once

#include <windows.h>

#include "sys/test_seam.h"

// For the tests only. Wine keeps no DACL beyond the Unix mode bits, so a descriptor that
// grants nothing, or everything, looks the same there as the right one; a test stands in for
// the call that writes the descriptor (SetKernelObjectSecurity) and looks at what the grant
// hands it.
using SetHandleSecurityCall = BOOL(WINAPI*)(HANDLE object, SECURITY_INFORMATION what,
                                            PSECURITY_DESCRIPTOR descriptor);
extern TestSeam<SetHandleSecurityCall> g_setHandleSecurity;
