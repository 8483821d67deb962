#include "sys/starting_user.h"

#include <mutex>
#include <vector>

#include "sys/object_security.h"
#include "sys/scoped_handle.h"
#include "sys/starting_user_test_hook.h"

TestSeam<bool> g_ignoreLinkedToken{false};

namespace {

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
    if (type == TokenElevationTypeFull && !g_ignoreLinkedToken.Get() &&
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

bool TokenMayAccess(HANDLE limited, const std::vector<BYTE>& descriptor, DWORD access) {
    GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE,
                               FILE_ALL_ACCESS};
    MapGenericMask(&access, &mapping);
    PRIVILEGE_SET privileges = {};
    DWORD privilegesSize = sizeof(privileges);
    DWORD granted = 0;
    BOOL allowed = FALSE;
    return AccessCheck(const_cast<BYTE*>(descriptor.data()), limited, access, &mapping, &privileges,
                       &privilegesSize, &granted, &allowed) &&
           allowed;
}

// The answer for the process's own token depends on nothing but the descriptor and the access
// asked for, so the last answer serves again for the same two: an appending log asks for its
// file at every line, and the descriptor is still read and compared every time.
class RememberedAnswer {
  public:
    bool MayAccess(HANDLE limited, const std::vector<BYTE>& descriptor, DWORD access) {
        std::lock_guard<std::mutex> hold(m_lock);
        if (m_known && access == m_access && descriptor == m_descriptor) return true;
        if (!TokenMayAccess(limited, descriptor, access)) return false;
        m_descriptor = descriptor;
        m_access = access;
        m_known = true;
        return true;
    }

  private:
    std::mutex m_lock;
    bool m_known = false;
    DWORD m_access = 0;
    std::vector<BYTE> m_descriptor;
};

bool LimitedTokenMayAccess(HANDLE object, DWORD access) {
    std::vector<BYTE> descriptor;
    if (!ReadObjectSecurity(object, kCheckedSecurity, descriptor)) return false;
    if (!g_ignoreLinkedToken.Get()) {
        static RememberedAnswer remembered;
        HANDLE limited = TheStartingUserToken().limited.Get();
        return limited != nullptr && remembered.MayAccess(limited, descriptor, access);
    }
    StartingUserToken fresh = ReadStartingUserToken();
    return fresh.limited && TokenMayAccess(fresh.limited.Get(), descriptor, access);
}

}  // namespace

TestSeam<StartingUserAccessCall> g_startingUserAccess{LimitedTokenMayAccess};

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
    return g_startingUserAccess.Get()(object, access);
}
