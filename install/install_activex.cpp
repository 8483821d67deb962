#include <windows.h>

#include "install/download_check.h"
#include "install/download.h"
#include "install/server_urls.h"
#include "install/program_launch.h"
#include "install/publisher_check.h"
#include "install/url_down_callback.h"
#include "install/install_display.h"
#include "install/install_steps.h"
#include "log/func_trace.h"
#include "log/trace_log.h"
#include "res/resource.h"
#include "sys/plain_file.h"
#include "sys/private_folder.h"

namespace {

constexpr int kMaxDownloadAttempts = 5;
const wchar_t kInstallerFile[] = L"Velmora ActiveX 7i_jp.exe";
const char kInstallerFileNarrow[] = "Velmora ActiveX 7i_jp.exe";

// Up to five attempts, back to back, into the step's own folder; true when the last one saved
// a whole program from a pinned publisher, which held then holds.
bool DownloadInstaller(FuncTrace& scope, const PrivateFolder& folder, const ServiceAddress& service,
                       const PublisherPins& pins, InstallDisplay& display,
                       ScopedKernelHandle& held) {
    std::wstring localPath = folder.File(kInstallerFile);
    bool downloaded = false;
    for (int attempt = 0; attempt < kMaxDownloadAttempts; ++attempt) {
        held.Close();
        std::wstring url = PublishedFileURL(service, kLauncherInstallerPath);
        TraceMsg(scope, "ServerFilePath: %S", url.c_str());
        display.SetInfoText(IDS_LAUNCHER_DOWNLOADING);
        TraceMsg(scope, "DownFilePath: %S", localPath.c_str());

        URLDownCallBack callback(display.ProgressBar());
        HRESULT hr = FetchIntoFolder(scope, folder, service, kLauncherInstallerPath, kInstallerFile,
                                     &callback, display);
        TraceMsg(scope, "URLDownloadToFile ret: 0x%08x", static_cast<unsigned>(hr));

        // A saved error page is no installer, a file that cannot be held may be replaced, and
        // one that a pinned publisher did not sign must not run: such an attempt has failed.
        if (hr >= 0) held = HoldPlainFileIn(folder.Handle(), kInstallerFile);
        downloaded =
            held && IsWholeWindowsProgram(held.Get()) &&
            IsFromPinnedPublisher(scope, held.Get(), localPath, kInstallerFileNarrow, pins);
        TraceMsg(scope, downloaded ? "Velmora ActiveX 7i.exe Download Success..."
                                   : "Velmora ActiveX 7i.exe Download fail_ and continue loop.");
        if (downloaded && hr == S_OK) break;
    }
    return downloaded;
}

}  // namespace

StepOutcome InstallActiveX(const ServiceAddress& service, bool automatic, const PublisherPins& pins,
                           InstallDisplay& display) {
    FuncTrace scope("VLDownloadDlg::InstallActiveX");
    if (service.host.empty()) {
        TraceMsg(scope, "UpdateURL is empty___");
        return StepOutcome::NoHost;
    }

    // The installer is saved in a new folder of the step's own in the machine's temporary
    // folder, which goes away with everything in it when the step ends.
    PrivateFolder folder;
    // From the end of a download until the installer runs, the file is held so that no other
    // process can replace it.
    ScopedKernelHandle held;
    bool downloaded = MakeDownloadFolder(scope, folder) &&
                      DownloadInstaller(scope, folder, service, pins, display, held);
    display.SetInfoText(IDS_LAUNCHER_INSTALLING);
    bool started = false;
    if (downloaded && folder.IsIntact()) {
        // The held installer, just before its start: its own folder is its temporary folder too.
        LaunchSetting setting;
        setting.tempFolder = folder.Path();
        started = RunAndWait(scope, kInstallerFileNarrow, automatic ? L"/verysilent" : nullptr,
                             held, setting);
    }
    // Let go before the folder is removed with the download in it.
    held.Close();
    return started ? StepOutcome::Ran : StepOutcome::Failed;
}
