#pragma once

#include <string>

// Paths the installation steps lay out.

// The machine's own temporary folder, where only administrators may change what others made:
// "%SystemRoot%\SystemTemp" where it exists as a folder, else "%SystemRoot%\Temp", found through
// the system's Windows folder (GetSystemWindowsDirectoryW), never through the environment,
// which the user sets. Empty when the system gives no Windows folder, or one of MAX_PATH
// characters or more.
std::wstring MachineTempFolder();

// "<programFiles>\Velmora".
std::wstring BaseFolderPath(const std::wstring& programFiles);

// "<basePath>\<siteName>".
std::wstring SiteFolderPath(const std::wstring& basePath, const std::wstring& siteName);
