#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "sys/scoped_handle.h"

// Entries opened by their bare name inside a folder the caller holds open, never through the
// folder's path: whatever has become of the path meanwhile (a junction or symbolic link in
// place of the folder or of a folder above it), the entry lies in the held folder itself. A
// name with a separator, a stream or a dot name is refused. An owner of nothing (or false) on
// failure, with the system's error code in GetLastError().

// Opens the folder name inside folder, or creates it when missing; a link under that name is
// opened as itself, never followed. Whether it is a plain folder is left to the caller. A new
// folder gets security (may be null for the inherited access).
ScopedKernelHandle OpenOrCreateFolderIn(HANDLE folder, const std::wstring& name, DWORD access,
                                        DWORD share, SECURITY_ATTRIBUTES* security = nullptr);

// Creates the file name inside folder, atomically with its opening: fails when anything
// stands under that name already (ERROR_FILE_EXISTS), so the handle is the new file.
ScopedKernelHandle CreateNewFileIn(HANDLE folder, const std::wstring& name, DWORD access,
                                   DWORD share, SECURITY_ATTRIBUTES* security);

// Creates the file name anew inside folder, with security (may be null for the inherited
// access). Whatever stood under that name before (a file, a second name of another file, a
// link) is removed as an entry first and never opened for writing, so nothing but the new file
// is written through the handle.
ScopedKernelHandle CreateFreshFileIn(HANDLE folder, const std::wstring& name, DWORD access,
                                     DWORD share, SECURITY_ATTRIBUTES* security);

// Creates the folder name inside folder, atomically with its opening: fails when anything
// stands under that name already (ERROR_ALREADY_EXISTS), so the handle is the new folder.
ScopedKernelHandle CreateNewFolderIn(HANDLE folder, const std::wstring& name, DWORD access,
                                     DWORD share, SECURITY_ATTRIBUTES* security);

// Marks the open entry (a file, or an empty folder) to be removed when its last handle closes;
// the handle needs DELETE access.
bool DeleteWhenClosed(HANDLE entry);

// Removes the entry name (a file, a link as itself) from folder; true also when there is none.
bool RemoveFileIn(HANDLE folder, const std::wstring& name);

// Opens the existing file name inside folder without following a link.
ScopedKernelHandle OpenFileIn(HANDLE folder, const std::wstring& name, DWORD access, DWORD share);

// Opens the existing folder name inside folder without following a link.
ScopedKernelHandle OpenFolderIn(HANDLE folder, const std::wstring& name, DWORD access, DWORD share);

// Opens the existing entry name inside folder, a file or a folder, as itself.
ScopedKernelHandle OpenEntryIn(HANDLE folder, const std::wstring& name, DWORD access, DWORD share);

// One entry of a folder's listing; folder is false for a link to a folder, which is an entry
// of its own, never the folder it leads to.
struct FolderEntry {
    std::wstring name;
    bool folder;
};

// The entries of the held folder but "." and "..", listed through its handle, never through
// its path; empty when it cannot be listed.
std::vector<FolderEntry> ListEntriesIn(HANDLE folder);
