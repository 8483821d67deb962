#include "sys/starting_user.h"

#include <vector>

#include "sys/object_security.h"
#include "sys/scoped_handle.h"
#include "sys/starting_user_test_hook.h"

namespace {

bool g_ignoreLinkForTesting = false;

// Every privilege the token holds, for removal.
std::vector<LUID_AND_ATTRIBUTES> PrivilegesOf(HANDLE token) {
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
    std::vector<BYTE> buffer(size);
    if (!GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) return {};
    auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
    return std::vector<LUID_AND_ATTRIBUTES>(privileges->Privileges,
                                            privileges->Privileges + privileges->PrivilegeCount);
}

// How this process's token stands: split, and then the limited token linked to it. Without
// SeTcbPrivilege the system hands that one out at identification level, which serves an access
// check but no open. Without a link (a privilege-management tool that elevates the user's own
// token, UAC off) the check goes against a restricted copy of the process's own token. A token
// that cannot be read, or a copy that cannot be made, leaves no token, and the check fails
// closed.
struct StartingUserToken {
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
    TOKEN_LINKED_TOKEN linked = {};
    if (type == TokenElevationTypeFull && !g_ignoreLinkForTesting &&
        GetTokenInformation(process.Get(), TokenLinkedToken, &linked, sizeof(linked), &size)) {
        result.limited.Reset(linked.LinkedToken);
        return result;
    }
    ScopedKernelHandle restricted = CreateStartingUserToken();
    if (restricted)
        DuplicateToken(restricted.Get(), SecurityIdentification, result.limited.Receive());
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

bool TokenMayAccess(HANDLE limited, HANDLE object, DWORD access) {
    std::vector<BYTE> descriptor;
    if (limited == nullptr || !ReadObjectSecurity(object, kCheckedSecurity, descriptor))
        return false;
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                               FILE_ALL_ACCESS};
    MapGenericMask(&access, &mapping);
    PRIVILEGE_SET privileges = {};
    DWORD privilegesSize = sizeof(privileges);
    DWORD granted = 0;
    BOOL allowed = FALSE;
    return AccessCheck(descriptor.data(), limited, access, &mapping, &privileges, &privilegesSize,
                       &granted, &allowed) &&
           allowed;
}

bool LimitedTokenMayAccess(HANDLE object, DWORD access) {
    if (!g_ignoreLinkForTesting)
        return TokenMayAccess(TheStartingUserToken().limited.Get(), object, access);
    StartingUserToken fresh = ReadStartingUserToken();
    return TokenMayAccess(fresh.limited.Get(), object, access);
}

StartingUserAccessCall g_startingUserAccess = LimitedTokenMayAccess;

}  // namespace

ScopedKernelHandle CreateStartingUserToken() {
    ScopedKernelHandle process;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY,
                          process.Receive()))
        return nullptr;
    BYTE administrators[SECURITY_MAX_SID_SIZE];
    BYTE medium[SECURITY_MAX_SID_SIZE];
    DWORD administratorsSize = sizeof(administrators);
    DWORD mediumSize = sizeof(medium);
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators,
                            &administratorsSize) ||
        !CreateWellKnownSid(WinMediumLabelSid, nullptr, medium, &mediumSize))
        return nullptr;
    SID_AND_ATTRIBUTES denyOnly = {administrators, 0};
    std::vector<LUID_AND_ATTRIBUTES> privileges = PrivilegesOf(process.Get());
    ScopedKernelHandle restricted;
    if (!CreateRestrictedToken(
            process.Get(), 0, 1, &denyOnly, static_cast<DWORD>(privileges.size()),
            privileges.empty() ? nullptr : privileges.data(), 0, nullptr, restricted.Receive()))
        return nullptr;
    TOKEN_MANDATORY_LABEL label = {{medium, SE_GROUP_INTEGRITY}};
    if (!SetTokenInformation(restricted.Get(), TokenIntegrityLevel, &label,
                             sizeof(label) + GetLengthSid(medium)))
        return nullptr;
    return restricted;
}

bool StartingUserMayAccess(HANDLE object, DWORD access) {
    return g_startingUserAccess(object, access);
}

void IgnoreLinkedTokenForTesting(bool ignore) { g_ignoreLinkForTesting = ignore; }

StartingUserAccessCall ReplaceStartingUserAccessForTesting(StartingUserAccessCall call) {
    StartingUserAccessCall previous = g_startingUserAccess;
    g_startingUserAccess = call;
    return previous;
}
