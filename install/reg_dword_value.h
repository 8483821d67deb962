#pragma once

#include <windows.h>
#include <string>

// Splits "Key\Path\Value" into the key path (trailing backslashes removed) and the value
// name (after the last backslash); leading backslashes of the full path are dropped first.
// Without any backslash the key path is empty and the whole text names the value.
void SplitRegValuePath(const std::wstring& fullPath, std::wstring& keyPath,
                       std::wstring& valueName);

// One DWORD value below HKEY_CURRENT_USER, named by its full path.
class RegDwordValue {
  public:
    explicit RegDwordValue(const std::wstring& fullPath);

    // Creates the key when missing and stores the number as REG_DWORD, whatever was stored
    // under the name before. Returns the system's result of the first call that failed.
    LONG Write(DWORD value) const;

  private:
    std::wstring m_strValueName;
    std::wstring m_strKeyPath;
};
