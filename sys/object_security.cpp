#include "sys/object_security.h"

bool ReadObjectSecurity(HANDLE object, SECURITY_INFORMATION what, std::vector<BYTE>& descriptor) {
    DWORD needed = 0;
    GetKernelObjectSecurity(object, what, nullptr, 0, &needed);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    descriptor.assign(needed, 0);
    return GetKernelObjectSecurity(object, what, descriptor.data(), needed, &needed) != FALSE;
}
