#include "sys/dll_search.h"

#include <windows.h>

#include "sys/dll_search_test_hook.h"

namespace {

// Resolved at run time: importing it would keep the program from starting at all on a
// Windows 7 without the update that brings it, before it could say why.
SetDefaultDllDirectoriesCall LookUpInKernel32() {
    HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    if (kernel32 == nullptr) return nullptr;
    FARPROC proc = GetProcAddress(kernel32, "SetDefaultDllDirectories");
    return reinterpret_cast<SetDefaultDllDirectoriesCall>(reinterpret_cast<void*>(proc));
}

SetDefaultDllDirectoriesLookup g_lookUp = LookUpInKernel32;

}  // namespace

bool RestrictDllSearchToSystemFolder() {
    SetDefaultDllDirectoriesCall setDefaultDllDirectories = g_lookUp();
    return setDefaultDllDirectories != nullptr &&
           setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

SetDefaultDllDirectoriesLookup ReplaceSetDefaultDllDirectoriesLookupForTesting(
    SetDefaultDllDirectoriesLookup lookUp) {
    SetDefaultDllDirectoriesLookup previous = g_lookUp;
    g_lookUp = lookUp;
    return previous;
}
