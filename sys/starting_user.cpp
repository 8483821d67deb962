#include "sys/starting_user.h"

#include <vector>

#include "sys/object_security.h"
#include "sys/scoped_handle.h"
#include "sys/starting_user_test_hook.h"

namespace {

// How this process's token stands: split, and then the limited token linked to it. Without
// SeTcbPrivilege the system hands that one out at identification level, which serves an access
// check but no open. A token that cannot be read counts as split without a limited half, so
// that the check fails closed.
struct StartingUserToken {
    bool split = true;
    ScopedKernelHandle limited;
};

StartingUserToken ReadStartingUserToken() {
    StartingUserToken result;
    ScopedKernelHandle process;
    TOKEN_ELEVATION_TYPE type = TokenElevationTypeDefault;
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, process.Receive()) ||
        !GetTokenInformation(process.Get(), TokenElevationType, &type, sizeof(type), &size))
        return result;
    result.split = type == TokenElevationTypeFull;
    TOKEN_LINKED_TOKEN linked = {};
    if (result.split &&
        GetTokenInformation(process.Get(), TokenLinkedToken, &linked, sizeof(linked), &size))
        result.limited.Reset(linked.LinkedToken);
    return result;
}

// Read once: the process's token does not change while it runs.
const StartingUserToken& TheStartingUserToken() {
    static const StartingUserToken token = ReadStartingUserToken();
    return token;
}

// What an open by the user is checked against: owner, group, access list, integrity label.
constexpr SECURITY_INFORMATION kCheckedSecurity =
    OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
    LABEL_SECURITY_INFORMATION;

bool LimitedTokenMayAccess(HANDLE object, DWORD access) {
    const StartingUserToken& token = TheStartingUserToken();
    if (!token.split) return true;
    std::vector<BYTE> descriptor;
    if (!token.limited || !ReadObjectSecurity(object, kCheckedSecurity, descriptor)) return false;
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                               FILE_ALL_ACCESS};
    MapGenericMask(&access, &mapping);
    PRIVILEGE_SET privileges = {};
    DWORD privilegesSize = sizeof(privileges);
    DWORD granted = 0;
    BOOL allowed = FALSE;
    return AccessCheck(descriptor.data(), token.limited.Get(), access, &mapping, &privileges,
                       &privilegesSize, &granted, &allowed) &&
           allowed;
}

StartingUserAccessCall g_startingUserAccess = LimitedTokenMayAccess;

}  // namespace

bool StartingUserMayAccess(HANDLE object, DWORD access) {
    return g_startingUserAccess(object, access);
}

StartingUserAccessCall ReplaceStartingUserAccessForTesting(StartingUserAccessCall call) {
    StartingUserAccessCall previous = g_startingUserAccess;
    g_startingUserAccess = call;
    return previous;
}
