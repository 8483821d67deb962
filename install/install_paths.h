#pragma once

#include <string>

// Paths the installation steps lay out.

// The user's temporary directory (GetTempPathW, 260 characters) with no separator at its end;
// empty when the platform gives none.
std::wstring GetTempDirectory();

// "<programFiles>\Velmora".
std::wstring BaseDirectoryPath(const std::wstring& programFiles);

// "<baseDir>\<siteName>".
std::wstring SiteDirectoryPath(const std::wstring& baseDir, const std::wstring& siteName);
