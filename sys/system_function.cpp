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

// Each loaded DLL is kept in a function-local static, which the language initialises once even
// when the interface thread and the installation worker get there together.
HMODULE SystemModule(SystemDll dll) {
    switch (dll) {
        case SystemDll::Kernel32:
            return GetModuleHandleW(L"kernel32.dll");
        case SystemDll::NtDll:
            return GetModuleHandleW(L"ntdll.dll");
        case SystemDll::Version: {
            static const HMODULE module = LoadSystemLibrary(L"version.dll");
            return module;
        }
        case SystemDll::NetApi32: {
            static const HMODULE module = LoadSystemLibrary(L"netapi32.dll");
            return module;
        }
        case SystemDll::Shell32: {
            static const HMODULE module = LoadSystemLibrary(L"shell32.dll");
            return module;
        }
        case SystemDll::Ole32: {
            static const HMODULE module = LoadSystemLibrary(L"ole32.dll");
            return module;
        }
        case SystemDll::WinInet: {
            static const HMODULE module = LoadSystemLibrary(L"wininet.dll");
            return module;
        }
        case SystemDll::WinTrust: {
            static const HMODULE module = LoadSystemLibrary(L"wintrust.dll");
            return module;
        }
    }
    return nullptr;
}

}  // namespace

FARPROC FindSystemExport(SystemDll dll, const char* name) {
    HMODULE module = SystemModule(dll);
    return module != nullptr ? GetProcAddress(module, name) : nullptr;
}
