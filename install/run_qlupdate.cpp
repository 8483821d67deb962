#include <windows.h>
#include <shlobj.h>

#include "install/download_check.h"
#include "install/download_folder.h"
#include "install/install_display.h"
#include "install/install_steps.h"
#include "install/install_paths.h"
#include "install/program_launch.h"
#include "install/publisher_check.h"
#include "install/reg_dword_value.h"
#include "install/server_urls.h"
#include "install/service_descriptor_file.h"
#include "install/site_name.h"
#include "install/site_folder_test_hook.h"
#include "install/traced_file_access.h"
#include "install/url_down_callback.h"
#include "log/func_trace.h"
#include "log/trace_log.h"
#include "res/resource.h"
#include "sys/admin_only_access.h"
#include "sys/admin_only_security.h"
#include "sys/file_access.h"
#include "sys/file_copy.h"
#include "sys/file_in_folder.h"
#include "sys/lazy_api.h"
#include "sys/os_version.h"
#include "sys/plain_file.h"
#include "sys/private_folder.h"
#include "sys/scoped_handle.h"
#include "sys/starting_user.h"
#include "sys/trusted_owner.h"

namespace {

const wchar_t kDescriptorFile[] = L"velmora_server.exe";
const wchar_t kAgentFile[] = L"QLUpdate.exe";
constexpr DWORD kSiteFolderAccess = kFolderHoldAccess | READ_CONTROL | WRITE_DAC;
constexpr DWORD kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

std::wstring HostValuePath(const std::wstring& host, const wchar_t* rest) {
    return L"Software\\Velmora\\" + host + L"\\" + rest;
}

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

// The base and site folders are opened to Users only once nothing runs elevated in them any
// more: at the end of the step, on every road, the site folder's own access list put back
// first. What the step leaves is then what it always left.
class UsersGrantsAtEnd {
  public:
    ~UsersGrantsAtEnd() { Grant(); }

    void Grant() {
        if (m_granted) return;
        m_granted = true;
        siteLock.Restore();
        if (base != nullptr) GrantUsersAccessOnVista(base);
        if (site != nullptr) GrantUsersAccessOnVista(site);
    }

    HANDLE base = nullptr;
    HANDLE site = nullptr;
    ScopedAdminOnlyAccess siteLock;

  private:
    bool m_granted = false;
};

// Only an administrator makes entries in the Program Files folder, so the base folder is made
// by its path; an existing one that is a junction or symbolic link is refused. Whether the
// result is a folder at all is left to the caller: an existing base that is no folder is used
// as it is, and the site folder then cannot be made below it.
bool MakeBaseFolder(const std::wstring& path, ScopedKernelHandle& held) {
    if (IsReparsePoint(path)) return false;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        CreateDirectoryW(path.c_str(), nullptr);
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    held.Reset(HoldPlainDirectory(path, READ_CONTROL | WRITE_DAC));
    return true;
}

// The base folder is open to Users, so anyone may put a link where the site folder belongs,
// or empty the base and make it a junction. The site folder is opened or made inside the held
// base, by its name, and held; a link under that name is refused.
HANDLE MakeSiteFolder(HANDLE base, const std::wstring& siteDir, const std::wstring& siteName) {
    // A new site folder is owned by the Administrators group, whoever the policy would make
    // its owner, and takes its access from the base.
    AdminOnlySecurity owned(AdminOnlySecurity::Access::Inherited);
    if (base == nullptr || IsReparsePoint(siteDir) || owned.Attributes() == nullptr) return nullptr;
    ScopedKernelHandle site(
        OpenOrCreateFolderIn(base, siteName, kSiteFolderAccess, kFolderShare, owned.Attributes()));
    if (!site || !IsPlainFolderHandle(site.Get())) return nullptr;
    return site.Take();
}

// The descriptor's copy, made anew inside the held site folder and held there, unshared for
// writing and deletion: while it stands, the folder is not empty and so cannot become a
// junction.
HANDLE PlaceDescriptorCopy(HANDLE site, HANDLE descriptor) {
    AdminOnlySecurity owned(AdminOnlySecurity::Access::Inherited);
    if (owned.Attributes() == nullptr) return nullptr;
    ScopedKernelHandle copy(CreateFreshFileIn(
        site, kDescriptorFile, GENERIC_READ | GENERIC_WRITE | READ_CONTROL | WRITE_DAC,
        FILE_SHARE_READ, owned.Attributes()));
    if (!copy || !CopyFileData(descriptor, copy.Get())) return nullptr;
    return copy.Take();
}

// The agent's path is started by name, so it must lead to the held folder: proven once the
// folder holds the descriptor's copy, after which neither the folder nor the base above it can
// be renamed, removed or made a junction until the step ends.
bool SitePathLeadsToHeldFolder(HANDLE site, const std::wstring& siteDir) {
    return IsPlainFolderHandle(site) && PathLeadsTo(siteDir, site);
}

// The agent is written anew inside the held site folder under an access list for
// administrators alone, and held for reading before its writer lets go, so that its name is
// never free and no unelevated process can write, rename or delete it before it runs.
HANDLE PlaceAgent(HANDLE site, HANDLE downloaded) {
    AdminOnlySecurity security;
    if (security.Attributes() == nullptr) return nullptr;
    ScopedKernelHandle written(CreateFreshFileIn(site, kAgentFile, GENERIC_READ | GENERIC_WRITE,
                                                 FILE_SHARE_READ, security.Attributes()));
    if (!written || !CopyFileData(downloaded, written.Get())) return nullptr;
    ScopedKernelHandle held(OpenFileIn(site, kAgentFile, GENERIC_READ, kFolderShare));
    written.Close();
    if (!held || !IsPlainFileHandle(held.Get()) || !IsWholeWindowsProgram(held.Get()))
        return nullptr;
    return held.Take();
}

// Once the agent has run, its file is opened to Users like everything else in the site
// folder, so that it can update itself without elevation.
void OpenAgentToUsers(HANDLE site) {
    ScopedKernelHandle agent(OpenFileIn(site, kAgentFile, READ_CONTROL | WRITE_DAC,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
    if (agent && IsVistaOrLater()) GrantUsersHandleAccess(agent.Get());
}

// The descriptor's copy is created owned by Administrators, inheriting the admin-only list of
// the locked folder; like the agent, it is opened to Users as everything in the site folder is.
void OpenDescriptorCopyToUsers(HANDLE copy) {
    if (copy != nullptr && IsVistaOrLater()) GrantUsersHandleAccess(copy);
}

// Empty when the shell cannot tell: a base below the current drive's root is never made.
std::wstring ProgramFilesDirectory() {
    wchar_t folder[MAX_PATH] = {};
    if (!LazyApi::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE))
        return std::wstring();
    folder[MAX_PATH - 1] = L'\0';
    return folder;
}

// An agent started in a folder that holds an entry of another owner runs with the starting
// user's own rights, and its folder is the user's as it always was.
HANDLE StartingUserTokenFor(FuncTrace& scope, HANDLE site, const std::wstring& siteDir) {
    std::wstring found;
    if (!FindEntryOfAnotherOwner(site, found)) return nullptr;
    std::wstring entry = found == L"." ? siteDir : siteDir + L"\\" + found;
    TraceMsg(scope, "Not owned by administrators: %S, QLUpdate.exe runs as the user",
             entry.c_str());
    return CreateStartingUserToken();
}

}  // namespace

TestSeam<SiteFolderMadeHook> g_siteFolderMade{nullptr};

StepOutcome RunQLUpdate(const ServiceAddress& service, const PublisherPins& pins,
                        InstallDisplay& display) {
    FuncTrace scope("VLDownloadDlg::RunQLUpdate");
    const std::wstring& host = service.host;
    if (host.empty()) {
        TraceMsg(scope, "UpdateURL is empty___");
        return StepOutcome::NoHost;
    }
    RegDwordValue(HostValuePath(host, L"LANGUAGE")).Write(3);

    std::wstring descriptorUrl = PublishedFileURL(service, kServiceDescriptorPath);
    TraceMsgW(scope, L"%s", descriptorUrl.c_str());
    // The temporary folder is the user's own: both downloads land in a new folder of the
    // step's own inside it, which goes away with everything in it when the step ends.
    PrivateFolder downloads;
    if (!MakeDownloadFolder(scope, downloads)) return StepOutcome::Failed;
    std::wstring descriptorPath = downloads.File(kDescriptorFile);
    TraceMsgW(scope, L"%s", descriptorPath.c_str());

    URLDownCallBack callback(display.ProgressBar());
    HRESULT hr = FetchIntoFolder(scope, downloads, service, kServiceDescriptorPath, kDescriptorFile,
                                 &callback, display);
    // Held from its download until it has been copied, so what is read is what is kept.
    ScopedKernelHandle descriptorHeld;
    if (hr >= 0) {
        descriptorHeld.Reset(HoldPlainFileIn(downloads.Handle(), kDescriptorFile));
        DWORD error = GetLastError();
        if (!descriptorHeld) hr = error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    if (hr < 0) {
        TraceMsg(scope, "%d\t%x", hr, static_cast<unsigned>(hr));
        TraceMsg(scope, "velmora_server.exe Download fail___");
        return StepOutcome::Failed;
    }

    std::wstring siteName;
    if (!ReadSiteName(scope, descriptorHeld.Get(), siteName)) return StepOutcome::Failed;
    RegDwordValue(HostValuePath(host, L"Update\\DontQuestionDesktopShortcut")).Write(1);

    // The name comes from the server and the program runs elevated: it must name one
    // directory right below the base directory, nothing else.
    if (!IsSafeSiteName(siteName)) {
        TraceMsg(scope, "Site dir create fail___");
        return StepOutcome::Failed;
    }
    std::wstring programFiles = ProgramFilesDirectory();
    if (programFiles.empty()) {
        TraceMsg(scope, "ProgramFiles folder fail___");
        return StepOutcome::Failed;
    }
    std::wstring baseDir = BaseDirectoryPath(programFiles);
    ScopedKernelHandle baseHeld;
    if (!MakeBaseFolder(baseDir, baseHeld)) {
        TraceMsg(scope, "Velmora basedir create fail___");
        return StepOutcome::Failed;
    }
    UsersGrantsAtEnd grants;
    grants.base = baseHeld.Get();

    std::wstring siteDir = SiteDirectoryPath(baseDir, siteName);
    ScopedKernelHandle siteHeld(MakeSiteFolder(baseHeld.Get(), siteDir, siteName));
    if (!siteHeld) {
        TraceMsg(scope, "Site dir create fail___");
        return StepOutcome::Failed;
    }
    grants.site = siteHeld.Get();
    if (SiteFolderMadeHook hook = g_siteFolderMade.Get()) hook();
    // Admin-only while the agent may run elevated in it; entries of another owner are looked
    // for only once nobody else can add one.
    if (!grants.siteLock.Lock(siteHeld.Get())) {
        TraceMsg(scope, "Site dir create fail___");
        return StepOutcome::Failed;
    }
    ScopedKernelHandle userToken(StartingUserTokenFor(scope, siteHeld.Get(), siteDir));
    if (userToken) grants.Grant();

    ScopedKernelHandle descriptorCopy(PlaceDescriptorCopy(siteHeld.Get(), descriptorHeld.Get()));
    if (!descriptorCopy || !SitePathLeadsToHeldFolder(siteHeld.Get(), siteDir)) {
        TraceMsg(scope, "velmora_server.exe Copy fail___");
        return StepOutcome::Failed;
    }
    descriptorHeld.Close();

    display.SetInfoText(IDS_AGENT_INSTALLING);
    hr = FetchIntoFolder(scope, downloads, service, kUpdateAgentPath, kAgentFile, &callback,
                         display);
    // A saved error page, or a program that a pinned publisher did not sign, is never placed or
    // started as the agent.
    ScopedKernelHandle downloaded;
    if (hr >= 0) downloaded.Reset(HoldPlainFileIn(downloads.Handle(), kAgentFile));
    ScopedKernelHandle agentHeld;
    if (downloaded && IsWholeWindowsProgram(downloaded.Get()) &&
        IsFromPinnedPublisher(scope, downloaded.Get(), downloads.File(kAgentFile), "QLUpdate.exe",
                              pins))
        agentHeld.Reset(PlaceAgent(siteHeld.Get(), downloaded.Get()));
    if (!agentHeld) {
        TraceMsg(scope, "%S Download fail___", PublishedFileURL(service, kUpdateAgentPath).c_str());
        OpenDescriptorCopyToUsers(descriptorCopy.Get());
        return StepOutcome::Failed;
    }
    OpenDescriptorCopyToUsers(descriptorCopy.Get());
    // The agent now keeps the site folder from being emptied; it needs its descriptor free.
    descriptorCopy.Close();
    downloaded.Close();

    RegDwordValue(HostValuePath(host, L"PRODUCT")).Write(1);
    // The agent started as the user reads its own file.
    if (userToken) OpenAgentToUsers(siteHeld.Get());
    // The held agent, just before its start. Elevated, its temporary folder is the step's own.
    LaunchSetting setting;
    setting.userToken = userToken.Get();
    if (!userToken) setting.tempFolder = downloads.Path();
    bool started = RunAndWait(scope, "QLUpdate.exe", L"-ou", agentHeld, setting);
    grants.Grant();
    if (!userToken) OpenAgentToUsers(siteHeld.Get());
    return started ? StepOutcome::Ran : StepOutcome::Failed;
}
