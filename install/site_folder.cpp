#include "install/site_folder.h"

#include <shlobj.h>

#include "install/download_check.h"
#include "install/site_folder_test_hook.h"
#include "log/func_trace.h"
#include "sys/admin_only_security.h"
#include "sys/file_access.h"
#include "sys/file_copy.h"
#include "sys/file_in_folder.h"
#include "sys/lazy_api.h"
#include "sys/os_version.h"
#include "sys/plain_file.h"

namespace {

constexpr DWORD kSiteFolderAccess = kFolderHoldAccess | READ_CONTROL | WRITE_DAC;
constexpr DWORD kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

// The Program Files folders are opened to the Users group from Windows Vista on.
bool IsVistaOrLater() {
    DWORD major = 0;
    DWORD minor = 0;
    return GetOSVersion(major, minor) && major >= 6;
}

// Granted on the held folder itself, never on whatever its path leads to by now.
void GrantUsersAccessOnVista(HANDLE folder) {
    if (IsVistaOrLater()) AddFileAccessAllowedRights(folder);
}

}  // namespace

TestSeam<SiteFolderMadeHook> g_siteFolderMade{nullptr};

std::wstring ProgramFilesFolder() {
    wchar_t folder[MAX_PATH] = {};
    if (!LazyApi::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE))
        return std::wstring();
    folder[MAX_PATH - 1] = L'\0';
    return folder;
}

bool MakeBaseFolder(const std::wstring& path, ScopedKernelHandle& held) {
    if (IsReparsePoint(path)) return false;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        CreateDirectoryW(path.c_str(), nullptr);
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    held = HoldPlainFolder(path, READ_CONTROL | WRITE_DAC);
    return true;
}

// The base folder is open to Users, so anyone may put a link where the site folder belongs,
// or empty the base and make it a junction.
ScopedKernelHandle MakeSiteFolder(HANDLE base, const std::wstring& sitePath,
                                  const std::wstring& siteName) {
    // Owned by the Administrators group, whoever the policy would make its owner.
    AdminOnlySecurity owned(AdminOnlySecurity::Access::Inherited);
    if (base == nullptr || IsReparsePoint(sitePath) || owned.Attributes() == nullptr)
        return nullptr;
    ScopedKernelHandle site =
        OpenOrCreateFolderIn(base, siteName, kSiteFolderAccess, kFolderShare, owned.Attributes());
    if (!site || !IsPlainFolderHandle(site.Get())) return nullptr;
    if (SiteFolderMadeHook hook = g_siteFolderMade.Get()) hook();
    return site;
}

ScopedKernelHandle PlaceDescriptorCopy(HANDLE site, HANDLE descriptor) {
    AdminOnlySecurity owned(AdminOnlySecurity::Access::Inherited);
    if (owned.Attributes() == nullptr) return nullptr;
    ScopedKernelHandle copy = CreateFreshFileIn(
        site, kDescriptorFile, GENERIC_READ | GENERIC_WRITE | READ_CONTROL | WRITE_DAC,
        FILE_SHARE_READ, owned.Attributes());
    if (!copy || !CopyFileData(descriptor, copy.Get())) return nullptr;
    return copy;
}

bool SitePathLeadsToHeldFolder(HANDLE site, const std::wstring& sitePath) {
    return IsPlainFolderHandle(site) && PathLeadsTo(sitePath, site);
}

ScopedKernelHandle PlaceAgent(HANDLE site, HANDLE downloaded) {
    AdminOnlySecurity security;
    if (security.Attributes() == nullptr) return nullptr;
    ScopedKernelHandle written = CreateFreshFileIn(site, kAgentFile, GENERIC_READ | GENERIC_WRITE,
                                                   FILE_SHARE_READ, security.Attributes());
    if (!written || !CopyFileData(downloaded, written.Get())) return nullptr;
    ScopedKernelHandle held = OpenFileIn(site, kAgentFile, GENERIC_READ, kFolderShare);
    written.Close();
    if (!held || !IsPlainFileHandle(held.Get()) || !IsWholeWindowsProgram(held.Get()))
        return nullptr;
    return held;
}

void OpenAgentToUsers(HANDLE site) {
    ScopedKernelHandle agent = OpenFileIn(site, kAgentFile, READ_CONTROL | WRITE_DAC,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (agent && IsVistaOrLater()) GrantUsersHandleAccess(agent.Get());
}

void OpenDescriptorCopyToUsers(HANDLE copy) {
    if (copy != nullptr && IsVistaOrLater()) GrantUsersHandleAccess(copy);
}

void UsersGrantsAtEnd::Grant() {
    if (m_granted) return;
    m_granted = true;
    siteLock.Restore();
    if (base != nullptr) GrantUsersAccessOnVista(base);
    if (site != nullptr) GrantUsersAccessOnVista(site);
}

bool AddFileAccessAllowedRights(HANDLE folder) {
    FuncTrace scope("AddFileAccessAllowedRights");
    return GrantUsersHandleAccess(folder);
}
