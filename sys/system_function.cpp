#include "sys/system_function.h"

#include <string>

namespace {

// A system without the search flags (Windows 7 before KB2533623) refuses the flag; there the
// DLL itself is still taken by its full path.
HMODULE LoadSystemLibrary(const wchar_t* name) {
    HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    wchar_t folder[MAX_PATH] = {};
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    std::wstring path(folder, length);
    path += L'\\';
    path += name;
    return LoadLibraryW(path.c_str());
}

// Each loaded DLL is kept in a function-local static, one per DLL, which the language
// initialises once even when the interface thread and the installation worker get there
// together.
template <SystemDll dll>
HMODULE LoadedOnce(const wchar_t* name) {
    static const HMODULE module = LoadSystemLibrary(name);
    return module;
}

HMODULE SystemModule(SystemDll dll) {
    switch (dll) {
        case SystemDll::Kernel32:
            return GetModuleHandleW(L"kernel32.dll");
        case SystemDll::NtDll:
            return GetModuleHandleW(L"ntdll.dll");
        case SystemDll::Version:
            return LoadedOnce<SystemDll::Version>(L"version.dll");
        case SystemDll::NetApi32:
            return LoadedOnce<SystemDll::NetApi32>(L"netapi32.dll");
        case SystemDll::Shell32:
            return LoadedOnce<SystemDll::Shell32>(L"shell32.dll");
        case SystemDll::Ole32:
            return LoadedOnce<SystemDll::Ole32>(L"ole32.dll");
        case SystemDll::WinInet:
            return LoadedOnce<SystemDll::WinInet>(L"wininet.dll");
        case SystemDll::WinTrust:
            return LoadedOnce<SystemDll::WinTrust>(L"wintrust.dll");
    }
    return nullptr;
}

}  // namespace

FARPROC FindSystemExport(SystemDll dll, const char* name) {
    HMODULE module = SystemModule(dll);
    return module != nullptr ? GetProcAddress(module, name) : nullptr;
}
