#pragma once

#include <string>

// Facts about the program's own file.
std::wstring GetModulePath();
std::wstring GetModuleDir();
std::wstring GetModuleName();

// The part of a path before its last backslash (empty without one) and after it (the whole
// path without one).
std::wstring DirOfPath(const std::wstring& path);
std::wstring NameOfPath(const std::wstring& path);

// The file name of a path without its extension; empty when the name has no full stop, so
// that such a name never carries an address.
std::wstring BaseNameOfPath(const std::wstring& path);

// "major.minor.build.revision" from a file's fixed version information; empty when the file
// is missing, has none, or path is null.
std::wstring GetFileVersionString(const wchar_t* path);
