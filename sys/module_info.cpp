#include "sys/module_info.h"

#include <windows.h>
#include <cwchar>
#include <vector>

#include "sys/lazy_api.h"
#include "sys/path_text.h"

std::wstring GetModulePath() {
    // Windows XP fills a too small buffer without a terminating zero; counting the length the
    // call reports gives every system the same 259 characters of a longer path.
    wchar_t path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameW(GetModuleHandleW(nullptr), path, MAX_PATH);
    if (length >= MAX_PATH) length = MAX_PATH - 1;
    return std::wstring(path, wcsnlen(path, length));
}

std::wstring GetModuleDir() { return DirOfPath(GetModulePath()); }

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
