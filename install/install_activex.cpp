#include <windows.h>

#include "install/download_check.h"
#include "install/install_paths.h"
#include "install/server_urls.h"
#include "install/program_launch.h"
#include "install/url_down_callback.h"
#include "install/install_display.h"
#include "install/install_steps.h"
#include "log/func_trace.h"
#include "log/trace_log.h"
#include "res/resource.h"

namespace {

constexpr int kMaxDownloadAttempts = 5;
const wchar_t kInstallerFile[] = L"Velmora ActiveX 7i_jp.exe";
const char kInstallerFileNarrow[] = "Velmora ActiveX 7i_jp.exe";

}  // namespace

int InstallActiveX(const wchar_t* host, int port, int https, bool automatic,
                   InstallDisplay& display, bool* ran) {
    FuncTrace scope("VLDownloadDlg::InstallActiveX");
    if (host == nullptr) {
        TraceMsg(scope, "UpdateURL is null___");
        return -1;
    }
    if (*host == L'\0') {
        TraceMsg(scope, "UpdateURL is empty___");
        return -1;
    }

    std::wstring tempDir = GetTempDirectory();
    std::wstring localPath = tempDir + L"\\" + kInstallerFile;
    bool downloaded = false;
    // The temporary folder is the user's own: from the end of a download until the installer
    // runs, the file is held so that no other process can replace it.
    ScopedKernelHandle held;
    for (int attempt = 0; attempt < kMaxDownloadAttempts; ++attempt) {
        held.Close();
        std::wstring url = PublishedFileURL(host, port, https, kLauncherInstallerPath);
        TraceMsg(scope, "ServerFilePath: %S", url.c_str());
        display.SetInfoText(IDS_LAUNCHER_DOWNLOADING);
        TraceMsg(scope, "DownFilePath: %S", localPath.c_str());

        URLDownCallBack callback;
        callback.m_pProgressCtrl = display.ProgressBar();
        HRESULT hr = FetchPublishedFile(scope, url, localPath, https, &callback, display);
        TraceMsg(scope, "URLDownloadToFile ret: 0x%08x", static_cast<unsigned>(hr));

        // A saved error page is no installer, and a file that cannot be held may be replaced:
        // such an attempt has failed.
        if (hr >= 0) held.Reset(HoldDownloadedFile(localPath));
        downloaded = held && IsWholeWindowsProgram(held.Get());
        TraceMsg(scope, downloaded ? "Velmora ActiveX 7i.exe Download Success..."
                                   : "Velmora ActiveX 7i.exe Download fail_ and continue loop.");
        if (downloaded && hr == S_OK) break;
    }

    display.SetInfoText(IDS_LAUNCHER_INSTALLING);
    bool started = false;
    if (downloaded) {
        started = RunAndWait(scope, kInstallerFile, kInstallerFileNarrow,
                             automatic ? L"/verysilent" : nullptr, tempDir, held);
    }
    held.Close();
    DeleteFileW(localPath.c_str());
    if (ran != nullptr) *ran = started;
    return 0;
}
