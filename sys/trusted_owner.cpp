#include "sys/trusted_owner.h"

#include <vector>

#include "sys/file_in_folder.h"
#include "sys/object_security.h"
#include "sys/scoped_handle.h"
#include "sys/trusted_owner_test_hook.h"

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// NT SERVICE\TrustedInstaller, which owns what Windows itself installs.
constexpr DWORD kTrustedInstallerRids[] = {80,         956008885,  3418522649,
                                           1831038044, 1853292631, 2271478464};

bool IsTrustedInstaller(PSID sid) {
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID trusted = nullptr;
    const DWORD* r = kTrustedInstallerRids;
    if (!AllocateAndInitializeSid(&nt, 6, r[0], r[1], r[2], r[3], r[4], r[5], 0, 0, &trusted))
        return false;
    bool same = EqualSid(sid, trusted) != FALSE;
    FreeSid(trusted);
    return same;
}

bool OwnerIsTrusted(HANDLE entry) {
    std::vector<BYTE> descriptor;
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (!ReadObjectSecurity(entry, OWNER_SECURITY_INFORMATION, descriptor) ||
        !GetSecurityDescriptorOwner(descriptor.data(), &owner, &defaulted) || owner == nullptr)
        return false;
    return IsWellKnownSid(owner, WinBuiltinAdministratorsSid) ||
           IsWellKnownSid(owner, WinLocalSystemSid) || IsTrustedInstaller(owner);
}

}  // namespace

TestSeam<OwnerCheckCall> g_ownerCheck{OwnerIsTrusted};

bool FindEntryOfAnotherOwner(HANDLE folder, std::wstring& found) {
    if (!g_ownerCheck.Get()(folder)) {
        found = L".";
        return true;
    }
    for (const FolderEntry& listed : ListEntriesIn(folder)) {
        ScopedKernelHandle entry = OpenEntryIn(folder, listed.name, READ_CONTROL, kShareAll);
        if (!entry || !g_ownerCheck.Get()(entry.Get())) {
            found = listed.name;
            return true;
        }
    }
    return false;
}
