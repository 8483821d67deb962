#pragma once

// Limits where this process loads DLLs from to the Windows system folder, so that a DLL lying
// beside the program (in a Downloads folder, say) or in the current directory never reaches
// the elevated process, not even as a dependency of a system DLL. Call first thing, before any
// library is loaded on demand. Returns whether the system took the restriction; a system
// without SetDefaultDllDirectories (Windows 7 before KB2533623) keeps its own order, and the
// program must not go on there.
bool RestrictDllSearchToSystemFolder();
