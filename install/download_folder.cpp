#include "install/download_folder.h"

#include "install/install_paths.h"
#include "install/install_steps.h"
#include "log/trace_log.h"
#include "sys/private_folder.h"

bool MakeDownloadFolder(FuncTrace& scope, PrivateFolder& folder) {
    if (folder.Create(MachineTempDirectory(), kDownloadFolderPrefix)) return true;
    TraceMsg(scope, "TempDir create fail___");
    return false;
}

HRESULT FetchIntoFolder(FuncTrace& scope, const PrivateFolder& folder,
                        const ServiceAddress& service, const std::wstring& path,
                        const wchar_t* fileName, URLDownCallBack* callback,
                        InstallDisplay& display) {
    if (!folder.IsIntact()) return E_ACCESSDENIED;
    return FetchPublishedFile(scope, service, path, folder.File(fileName), callback, display,
                              folder.Handle(), fileName);
}
