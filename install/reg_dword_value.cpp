#include "install/reg_dword_value.h"

#include "sys/path_text.h"
#include "sys/reg_key.h"

void SplitRegValuePath(const std::wstring& fullPath, std::wstring& keyPath,
                       std::wstring& valueName) {
    std::wstring path = TrimLeadingBackslashes(fullPath);
    keyPath = TrimTrailingBackslashes(FolderOfPath(path));
    valueName = NameOfPath(path);
}

RegDwordValue::RegDwordValue(const std::wstring& fullPath) {
    SplitRegValuePath(fullPath, m_strKeyPath, m_strValueName);
}

LONG RegDwordValue::Write(DWORD value) const {
    RegKey key;
    LONG result = key.Create(HKEY_CURRENT_USER, m_strKeyPath, KEY_WRITE);
    if (result != ERROR_SUCCESS) return result;
    return key.WriteDword(m_strValueName, value);
}
