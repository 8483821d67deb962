#pragma once

#include <windows.h>
#include <string>

// The whole file name of module, however long: a path cut to a buffer would name another file
// (its .ini, its log, its compatibility value). Empty when the system gives none.
std::wstring GetModuleFileNameOf(HMODULE module);

// Facts about the program's own file.
std::wstring GetModulePath();
std::wstring GetModuleDir();
std::wstring GetModuleName();

// "major.minor.build.revision" from a file's fixed version information; empty when the file
// is missing, has none, or path is null.
std::wstring GetFileVersionString(const wchar_t* path);
