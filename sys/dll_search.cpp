#include "sys/dll_search.h"

#include <windows.h>

bool RestrictDllSearchToSystemFolder() {
    // Resolved at run time: importing it would keep the program from starting at all on a
    // Windows 7 without the update that brings it.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (kernel32 == nullptr) return false;
    FARPROC proc = GetProcAddress(kernel32, "SetDefaultDllDirectories");
    if (proc == nullptr) return false;
    auto setDefaultDllDirectories =
        reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(proc));
    return setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}
