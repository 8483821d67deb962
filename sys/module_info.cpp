#include "sys/module_info.h"

#include <windows.h>
#include <cwchar>
#include <vector>

#include "sys/lazy_api.h"
#include "sys/path_text.h"

// The longest path the system gives a module.
constexpr DWORD kLongestPath = 32768;

std::wstring GetModuleFileNameOf(HMODULE module) {
    for (DWORD units = MAX_PATH; units <= kLongestPath; units *= 2) {
        std::vector<wchar_t> path(units, L'\0');
        DWORD length = GetModuleFileNameW(module, path.data(), units);
        if (length == 0) return std::wstring();
        if (length < units) return std::wstring(path.data(), wcsnlen(path.data(), length));
    }
    return std::wstring();
}

std::wstring GetModulePath() { return GetModuleFileNameOf(GetModuleHandleW(nullptr)); }

std::wstring GetModuleDir() { return FolderOfPath(GetModulePath()); }

std::wstring GetModuleName() { return NameOfPath(GetModulePath()); }

std::wstring GetFileVersionString(const wchar_t* path) {
    if (path == nullptr) return std::wstring();
    DWORD handle = 0;
    DWORD size = LazyApi::GetFileVersionInfoSizeW(path, &handle);
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, 0);
    if (size == 0 || !LazyApi::GetFileVersionInfoW(path, 0, size, buffer.data()))
        return std::wstring();
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoSize = 0;
    if (!LazyApi::VerQueryValueW(buffer.data(), L"\\", reinterpret_cast<void**>(&info),
                                 &infoSize) ||
        info == nullptr)
        return std::wstring();
    wchar_t text[64];
    _snwprintf(text, 64, L"%u.%u.%u.%u", HIWORD(info->dwFileVersionMS),
               LOWORD(info->dwFileVersionMS), HIWORD(info->dwFileVersionLS),
               LOWORD(info->dwFileVersionLS));
    text[63] = L'\0';
    return std::wstring(text);
}
