#pragma once

#include <windows.h>
#include <vector>

// Reads the parts what of the security descriptor of the object an open handle refers to
// (opened with READ_CONTROL, and ACCESS_SYSTEM_SECURITY for the audit list).
bool ReadObjectSecurity(HANDLE object, SECURITY_INFORMATION what, std::vector<BYTE>& descriptor);
