#include "sys/object_security.h"

namespace {

// Most descriptors fit in this at the first asking, which then is the only one: every asking
// is a trip to the system, and the log asks at every line it appends.
constexpr DWORD kFirstGuess = 1024;

}  // namespace

bool ReadObjectSecurity(HANDLE object, SECURITY_INFORMATION what, std::vector<BYTE>& descriptor) {
    descriptor.assign(kFirstGuess, 0);
    DWORD needed = 0;
    if (GetKernelObjectSecurity(object, what, descriptor.data(), kFirstGuess, &needed)) {
        descriptor.resize(GetSecurityDescriptorLength(descriptor.data()));
        return true;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    descriptor.assign(needed, 0);
    return GetKernelObjectSecurity(object, what, descriptor.data(), needed, &needed) != FALSE;
}
