#include "sys/dll_search.h"

#include <windows.h>

#include "sys/dll_search_test_hook.h"
#include "sys/system_function.h"

namespace {

// Resolved at run time: importing it would keep the program from starting at all on a
// Windows 7 without the update that brings it, before it could say why.
const SystemFunction<SetDefaultDllDirectoriesCall> g_setDefaultDllDirectories(
    SystemDll::Kernel32, "SetDefaultDllDirectories");

SetDefaultDllDirectoriesCall LookUpInKernel32() { return g_setDefaultDllDirectories.Get(); }

}  // namespace

TestSeam<SetDefaultDllDirectoriesLookup> g_setDefaultDllDirectoriesLookup{LookUpInKernel32};

bool RestrictDllSearchToSystemFolder() {
    SetDefaultDllDirectoriesCall setDefaultDllDirectories =
        g_setDefaultDllDirectoriesLookup.Get()();
    return setDefaultDllDirectories != nullptr &&
           setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}
