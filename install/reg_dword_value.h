#pragma once

#include <windows.h>
#include <string>

#include "sys/scoped_handle.h"

// Splits "Key\Path\Value" into the key path (trailing backslashes removed) and the value
// name (after the last backslash); leading backslashes of the full path are dropped first.
// Without any backslash the key path is empty and the whole text names the value.
void SplitRegValuePath(const std::wstring& fullPath, std::wstring& keyPath,
                       std::wstring& valueName);

// One DWORD value of the registry. Construction reads the current value; assigning a number
// writes it unless it is already stored (or always, with the force flag).
class RegDwordValue {
  public:
    RegDwordValue(const std::wstring& fullPath, DWORD defaultValue, bool force, HKEY rootKey);

    RegDwordValue(const RegDwordValue&) = delete;
    RegDwordValue& operator=(const RegDwordValue&) = delete;

    RegDwordValue& operator=(DWORD value);

    // Creates the key when missing and stores the value as REG_DWORD; true when it was set.
    bool Write();

    DWORD Value() const { return m_dwValue; }
    DWORD DefaultValue() const { return m_dwDefault; }
    bool Exists() const { return m_bExists; }
    const std::wstring& KeyPath() const { return m_strKeyPath; }
    const std::wstring& ValueName() const { return m_strValueName; }

  private:
    void Read();

    HKEY m_hRootKey;
    ScopedRegKey m_key;
    std::wstring m_strValueName;
    std::wstring m_strKeyPath;
    DWORD m_dwValue;
    DWORD m_dwDefault;
    bool m_bExists;
    bool m_bForce;
};

// What the installation steps do with a value: hold it, assign the number, and write once
// more whatever was stored before, so the number is in the registry afterwards. True when
// the last write succeeded.
bool StoreRegDword(const std::wstring& fullPath, DWORD value, HKEY rootKey = HKEY_CURRENT_USER);
