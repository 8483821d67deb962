#pragma once

#include <string>

// Backslash paths taken apart as text; nothing here asks the file system.

// The part of a path before its last backslash (empty without one) and after it (the whole
// path without one).
std::wstring FolderOfPath(const std::wstring& path);
std::wstring NameOfPath(const std::wstring& path);

// The stem of a file name: the name without the part from its last full stop on. For a name
// without a full stop the stem of a path's file name is empty, so that such a name never
// carries an address, and the stem of a name alone is the whole name.
std::wstring StemOfPathOrEmpty(const std::wstring& path);
std::wstring StemOfNameOrWholeName(const std::wstring& name);

// The text without any backslash at its start, or at its end ("C:\Temp\\" gives "C:\Temp"); a
// drive's root keeps one ("C:\\" gives "C:\", never the drive-relative "C:").
std::wstring TrimLeadingBackslashes(const std::wstring& path);
std::wstring TrimTrailingBackslashes(const std::wstring& path);

// Whether a name can be one plain file or directory name in a folder, and stays what it says:
// not empty, "." or "..", no path separators, drive or stream colons, control characters or
// other characters Windows forbids in file names, no trailing dots or spaces (Windows drops
// them, so the object would get another name), and no reserved device name (CON, PRN, AUX,
// NUL, COM1-9, LPT1-9, also with an extension).
bool IsPlainFileName(const std::wstring& name);

// Whether a path can name a plain file: a drive, relative or share path, or one of those behind
// "\\?\", whose last part is a plain file name. Refused in every spelling (forward slashes for
// backslashes): device paths ("\\.\", "\??\"), the pipe and mailslot shares of any server
// ("\\localhost\pipe\x"), any colon after the drive's (a stream of a file), and a last part that
// names a device.
bool IsPlainFilePath(const std::wstring& path);
