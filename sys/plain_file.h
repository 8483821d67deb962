#pragma once

#include <windows.h>
#include <string>

#include "sys/scoped_handle.h"

// Opening paths that an unprivileged party may have prepared. Every open here takes the named
// object itself, never what a junction or symbolic link points to, and refuses anything but
// the kind of object asked for.

// Whether the open handle is a regular file on a disk: not a folder, device or reparse
// point, and reachable by this one name only (a second hard link may name a system file).
bool IsPlainFileHandle(HANDLE file);

// Opens an existing regular file for reading, shared for reading only, so that nobody can
// write, rename or delete it while the handle is open. Holds nothing when it is no plain
// file.
ScopedKernelHandle HoldPlainFile(const std::wstring& path);

// HoldPlainFile for the file name inside a folder the caller holds, never through a path.
ScopedKernelHandle HoldPlainFileIn(HANDLE folder, const std::wstring& name);

// The full path of the object an open handle refers to, as the file system names it now (links
// on the way resolved), in its plain drive or share form. False when the system cannot tell it,
// or when it is MAX_PATH characters or more: a path is never cut into another.
bool ReadFinalPath(HANDLE object, std::wstring& path);

// Whether something exists at path as a reparse point (a junction or symbolic link), without
// following it.
bool IsReparsePoint(const std::wstring& path);

// Opens an existing folder that is no reparse point, shared for reading and writing but not
// for deletion, so that it cannot be renamed or removed while the handle is open (extraAccess
// is added to what the hold needs, such as the rights to change its access list). Null
// otherwise. A hold does not keep anyone from emptying the folder and making it a junction:
// IsPlainFolderHandle and PathLeadsTo tell.
ScopedKernelHandle HoldPlainFolder(const std::wstring& path, DWORD extraAccess = 0);

// The access a hold of a folder needs: listing, which makes the missing delete sharing bind
// (an open without read, write or delete access takes part in no sharing check), and reading
// its attributes.
constexpr DWORD kFolderHoldAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;

// Whether the open handle is a folder on a disk that is no reparse point now.
bool IsPlainFolderHandle(HANDLE folder);

// Whether path, opened without following a link at its end, is the very object the handle
// refers to.
bool PathLeadsTo(const std::wstring& path, HANDLE object);

// Whether two records of open files are of the same object: same volume, same file index.
bool IsSameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b);
