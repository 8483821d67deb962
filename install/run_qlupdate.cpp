#include <windows.h>

#include "install/download.h"
#include "install/download_check.h"
#include "install/install_display.h"
#include "install/install_paths.h"
#include "install/install_steps.h"
#include "install/program_launch.h"
#include "install/publisher_check.h"
#include "install/reg_dword_value.h"
#include "install/server_urls.h"
#include "install/service_descriptor_file.h"
#include "install/site_folder.h"
#include "install/url_down_callback.h"
#include "log/func_trace.h"
#include "log/trace_log.h"
#include "res/resource.h"
#include "sys/path_text.h"
#include "sys/plain_file.h"
#include "sys/private_folder.h"
#include "sys/scoped_handle.h"
#include "sys/starting_user.h"
#include "sys/trusted_owner.h"

namespace {

std::wstring HostValuePath(const std::wstring& host, const wchar_t* rest) {
    return L"Software\\Velmora\\" + host + L"\\" + rest;
}

// An agent started in a folder that holds an entry of another owner runs with the starting
// user's own rights, and its folder is the user's as it always was.
ScopedKernelHandle StartingUserTokenFor(FuncTrace& scope, HANDLE site,
                                        const std::wstring& sitePath) {
    std::wstring found;
    if (!FindEntryOfAnotherOwner(site, found)) return nullptr;
    std::wstring entry = found == L"." ? sitePath : sitePath + L"\\" + found;
    TraceMsg(scope, "Not owned by administrators: %S, QLUpdate.exe runs as the user",
             entry.c_str());
    return CreateStartingUserToken();
}

}  // namespace

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
        descriptorHeld = HoldPlainFileIn(downloads.Handle(), kDescriptorFile);
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
    // folder right below the base folder, nothing else (no separator, stream, dot name,
    // reserved device name or name that Windows would change).
    if (!IsPlainFileName(siteName)) {
        TraceMsg(scope, "Site dir create fail___");
        return StepOutcome::Failed;
    }
    std::wstring programFiles = ProgramFilesFolder();
    if (programFiles.empty()) {
        TraceMsg(scope, "ProgramFiles folder fail___");
        return StepOutcome::Failed;
    }
    std::wstring basePath = BaseFolderPath(programFiles);
    // Both folders stay held until the grants at the end have gone through their handles.
    ScopedKernelHandle baseHeld;
    ScopedKernelHandle siteHeld;
    if (!MakeBaseFolder(basePath, baseHeld)) {
        TraceMsg(scope, "Velmora basedir create fail___");
        return StepOutcome::Failed;
    }
    UsersGrantsAtEnd grants;
    grants.base = baseHeld.Get();

    std::wstring sitePath = SiteFolderPath(basePath, siteName);
    siteHeld = MakeSiteFolder(baseHeld.Get(), sitePath, siteName);
    if (!siteHeld) {
        TraceMsg(scope, "Site dir create fail___");
        return StepOutcome::Failed;
    }
    grants.site = siteHeld.Get();
    // Admin-only while the agent may run elevated in it; entries of another owner are looked
    // for only once nobody else can add one.
    if (!grants.siteLock.Lock(siteHeld.Get())) {
        TraceMsg(scope, "Site dir create fail___");
        return StepOutcome::Failed;
    }
    ScopedKernelHandle userToken = StartingUserTokenFor(scope, siteHeld.Get(), sitePath);
    if (userToken) grants.Grant();

    ScopedKernelHandle descriptorCopy = PlaceDescriptorCopy(siteHeld.Get(), descriptorHeld.Get());
    if (!descriptorCopy || !SitePathLeadsToHeldFolder(siteHeld.Get(), sitePath)) {
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
    if (hr >= 0) downloaded = HoldPlainFileIn(downloads.Handle(), kAgentFile);
    ScopedKernelHandle agentHeld;
    if (downloaded && IsWholeWindowsProgram(downloaded.Get()) &&
        IsFromPinnedPublisher(scope, downloaded.Get(), downloads.File(kAgentFile), "QLUpdate.exe",
                              pins))
        agentHeld = PlaceAgent(siteHeld.Get(), downloaded.Get());
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
