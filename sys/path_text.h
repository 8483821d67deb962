#pragma once

#include <string>

// Backslash paths taken apart as text; nothing here asks the file system.

// The part of a path before its last backslash (empty without one) and after it (the whole
// path without one).
std::wstring DirOfPath(const std::wstring& path);
std::wstring NameOfPath(const std::wstring& path);

// The file name of a path without its extension; empty when the name has no full stop, so
// that such a name never carries an address.
std::wstring BaseNameOfPath(const std::wstring& path);

// A file name without the part from its last full stop on; the whole name without one.
std::wstring NameWithoutExtension(const std::wstring& name);

// The text without any backslash at its start, or at its end ("C:\Temp\\" gives "C:\Temp").
std::wstring TrimLeadingBackslashes(const std::wstring& path);
std::wstring TrimTrailingBackslashes(const std::wstring& path);
