#pragma once

#include <windows.h>
#include <string>

// Opening paths that an unprivileged party may have prepared. Every open here takes the named
// object itself, never what a junction or symbolic link points to, and refuses anything but
// the kind of object asked for.

// Whether the open handle is a regular file on a disk: not a directory, device or reparse
// point, and reachable by this one name only (a second hard link may name a system file).
bool IsPlainFileHandle(HANDLE file);

// Opens an existing regular file for reading, shared for reading only, so that nobody can
// write, rename or delete it while the handle is open. Null when it is no plain file.
HANDLE HoldPlainFile(const std::wstring& path);

// Whether something exists at path as a reparse point (a junction or symbolic link), without
// following it.
bool IsReparsePoint(const std::wstring& path);

// Opens an existing directory that is no reparse point, shared for reading and writing but not
// for deletion, so that it cannot be renamed, removed or replaced by a link while the handle is
// open. Null otherwise.
HANDLE HoldPlainDirectory(const std::wstring& path);
