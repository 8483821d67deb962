#pragma once

#include <string>

// Facts about the program's own file.
std::wstring GetModulePath();
std::wstring GetModuleDir();
std::wstring GetModuleName();

// "major.minor.build.revision" from a file's fixed version information; empty when the file
// is missing, has none, or path is null.
std::wstring GetFileVersionString(const wchar_t* path);
