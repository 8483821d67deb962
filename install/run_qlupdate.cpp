#include <windows.h>
#include <shlobj.h>

#include "install/download_check.h"
#include "install/install_display.h"
#include "install/install_steps.h"
#include "install/install_paths.h"
#include "install/program_launch.h"
#include "install/reg_dword_value.h"
#include "install/server_urls.h"
#include "install/service_descriptor.h"
#include "install/site_name.h"
#include "install/traced_file_access.h"
#include "install/url_down_callback.h"
#include "log/func_trace.h"
#include "log/trace_log.h"
#include "res/resource.h"
#include "sys/lazy_api.h"
#include "sys/os_version.h"
#include "sys/plain_file.h"
#include "sys/scoped_handle.h"

namespace {

const wchar_t kDescriptorFile[] = L"velmora_server.exe";
const wchar_t kAgentFile[] = L"QLUpdate.exe";

std::wstring HostValuePath(const std::wstring& host, const wchar_t* rest) {
    return L"Software\\Velmora\\" + host + L"\\" + rest;
}

// The Program Files folders are opened to the Users group from Windows Vista on.
void GrantUsersAccessOnVista(const std::wstring& directory) {
    DWORD major = 0;
    DWORD minor = 0;
    if (GetOSVersion(major, minor) && major >= 6) AddFileAccessAllowedRights(directory.c_str());
}

// The base folder is open to Users, so a junction or symbolic link may stand in place of a
// site folder and would carry the files and the grant wherever it points. A folder that is a
// link is not created, written into or granted; a plain one is held until the step ends, so
// that it cannot be swapped for a link meanwhile. Whether the result is a folder at all is left
// to the caller.
bool MakeFolderNoLink(const std::wstring& path, ScopedKernelHandle& held) {
    if (IsReparsePoint(path)) return false;
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        CreateDirectoryW(path.c_str(), nullptr);
    if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
    held.Reset(HoldPlainDirectory(path));
    return true;
}

std::wstring ProgramFilesDirectory() {
    wchar_t folder[MAX_PATH] = {};
    LazyApi::SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE);
    return folder;
}

}  // namespace

int RunQLUpdate(const std::wstring& host, int port, int https, InstallDisplay& display, bool* ran) {
    FuncTrace scope("VLDownloadDlg::RunQLUpdate");
    if (host.empty()) {
        TraceMsg(scope, "UpdateURL is empty___");
        return -1;
    }
    StoreRegDword(HostValuePath(host, L"LANGUAGE"), 3);

    std::wstring descriptorUrl = PublishedFileURL(host, port, https, kServiceDescriptorPath);
    TraceMsgW(scope, L"%s", descriptorUrl.c_str());
    std::wstring tempDir = GetTempDirectory();
    std::wstring descriptorPath = tempDir + L"\\" + kDescriptorFile;
    TraceMsgW(scope, L"%s", descriptorPath.c_str());

    URLDownCallBack callback;
    callback.m_pProgressCtrl = display.ProgressBar();
    HRESULT hr =
        FetchPublishedFile(scope, descriptorUrl, descriptorPath, https, &callback, display);
    // Held from its download until it has been copied, so what is read is what is kept.
    ScopedKernelHandle descriptorHeld;
    if (hr >= 0) {
        descriptorHeld.Reset(HoldDownloadedFile(descriptorPath));
        DWORD error = GetLastError();
        if (!descriptorHeld) hr = error != ERROR_SUCCESS ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    if (hr < 0) {
        TraceMsg(scope, "%d\t%x", hr, static_cast<unsigned>(hr));
        TraceMsg(scope, "velmora_server.exe Download fail___");
        return -1;
    }

    std::wstring siteName;
    if (!ReadSiteName(scope, descriptorPath, siteName)) return -1;
    StoreRegDword(HostValuePath(host, L"Update\\DontQuestionDesktopShortcut"), 1);

    // The name comes from the server and the program runs elevated: it must name one
    // directory right below the base directory, nothing else.
    if (!IsSafeSiteName(siteName)) {
        TraceMsg(scope, "Site dir create fail___");
        return -1;
    }
    std::wstring baseDir = BaseDirectoryPath(ProgramFilesDirectory());
    // Nobody but an administrator makes entries in the Program Files folder: an existing base
    // that is no folder is used as it is, and the site folder then cannot be made below it.
    ScopedKernelHandle baseHeld;
    if (!MakeFolderNoLink(baseDir, baseHeld)) {
        TraceMsg(scope, "Velmora basedir create fail___");
        return -1;
    }
    GrantUsersAccessOnVista(baseDir);

    std::wstring siteDir = SiteDirectoryPath(baseDir, siteName);
    ScopedKernelHandle siteHeld;
    if (!MakeFolderNoLink(siteDir, siteHeld) || !siteHeld) {
        TraceMsg(scope, "Site dir create fail___");
        return -1;
    }
    GrantUsersAccessOnVista(siteDir);

    std::wstring descriptorCopy = DescriptorCopyPath(descriptorPath, tempDir, siteDir);
    if (!CopyFileW(descriptorPath.c_str(), descriptorCopy.c_str(), FALSE)) {
        TraceMsg(scope, "velmora_server.exe Copy fail___");
        return -1;
    }
    descriptorHeld.Close();
    DeleteFileW(descriptorPath.c_str());

    display.SetInfoText(IDS_AGENT_INSTALLING);
    std::wstring agentUrl = PublishedFileURL(host, port, https, kUpdateAgentPath);
    std::wstring agentPath = siteDir + L"\\" + kAgentFile;
    hr = FetchPublishedFile(scope, agentUrl, agentPath, https, &callback, display);
    // The site folder is open to Users: the agent is held from its download until it runs, and
    // a saved error page is never started as the agent.
    ScopedKernelHandle agentHeld;
    if (hr >= 0) agentHeld.Reset(HoldDownloadedFile(agentPath));
    if (!agentHeld || !IsWholeWindowsProgram(agentHeld.Get())) {
        TraceMsg(scope, "%S Download fail___", agentUrl.c_str());
        return -1;
    }

    StoreRegDword(HostValuePath(host, L"PRODUCT"), 1);
    bool started = RunAndWait(scope, kAgentFile, "QLUpdate.exe", L"-ou", siteDir, agentHeld);
    if (ran != nullptr) *ran = started;
    return 0;
}
