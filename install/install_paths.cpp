#include "install/install_paths.h"

#include <windows.h>

#include "sys/path_text.h"

namespace {

constexpr DWORD kTempPathBuffer = 260;

}  // namespace

std::wstring GetTempDirectory() {
    wchar_t buffer[kTempPathBuffer] = {};
    DWORD length = GetTempPathW(kTempPathBuffer, buffer);
    if (length == 0 || length >= kTempPathBuffer) return std::wstring();
    return TrimTrailingBackslashes(std::wstring(buffer, length));
}

std::wstring BaseDirectoryPath(const std::wstring& programFiles) {
    return programFiles + L"\\Velmora";
}

std::wstring SiteDirectoryPath(const std::wstring& baseDir, const std::wstring& siteName) {
    return baseDir + L"\\" + siteName;
}
