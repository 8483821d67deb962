#pragma once

#include <string>

// Paths the installation steps lay out.

// The machine's own temporary folder, where only administrators may change what others made:
// "%SystemRoot%\SystemTemp" where it exists as a folder, else "%SystemRoot%\Temp", found through
// the system's Windows directory (GetSystemWindowsDirectoryW), never through the environment,
// which the user sets. Empty when the system gives no Windows directory, or one of MAX_PATH
// characters or more.
std::wstring MachineTempDirectory();

// "<programFiles>\Velmora".
std::wstring BaseDirectoryPath(const std::wstring& programFiles);

// "<baseDir>\<siteName>".
std::wstring SiteDirectoryPath(const std::wstring& baseDir, const std::wstring& siteName);
