#include "install/install_paths.h"

#include <windows.h>

#include "sys/path_text.h"
#include "sys/plain_file.h"
#include "sys/scoped_handle.h"

namespace {

// Whether path is a folder that is no link, without following one at its end.
bool IsPlainFolder(const std::wstring& path) {
    ScopedKernelHandle folder(
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    return folder && IsPlainFolderHandle(folder.Get());
}

}  // namespace

std::wstring MachineTempFolder() {
    wchar_t buffer[MAX_PATH] = {};
    UINT length = GetSystemWindowsDirectoryW(buffer, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::wstring();
    std::wstring windows = TrimTrailingBackslashes(std::wstring(buffer, length));
    std::wstring systemTemp = windows + L"\\SystemTemp";
    if (IsPlainFolder(systemTemp)) return systemTemp;
    return windows + L"\\Temp";
}

std::wstring BaseFolderPath(const std::wstring& programFiles) {
    return programFiles + L"\\Velmora";
}

std::wstring SiteFolderPath(const std::wstring& basePath, const std::wstring& siteName) {
    return basePath + L"\\" + siteName;
}
