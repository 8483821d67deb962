#include "install/reg_dword_value.h"

#include "sys/path_text.h"

void SplitRegValuePath(const std::wstring& fullPath, std::wstring& keyPath,
                       std::wstring& valueName) {
    std::wstring path = TrimLeadingBackslashes(fullPath);
    keyPath = TrimTrailingBackslashes(DirOfPath(path));
    valueName = NameOfPath(path);
}

RegDwordValue::RegDwordValue(const std::wstring& fullPath, DWORD defaultValue, bool force,
                             HKEY rootKey)
    : m_hRootKey(rootKey),
      m_dwValue(0),
      m_dwDefault(defaultValue),
      m_bExists(false),
      m_bForce(force) {
    SplitRegValuePath(fullPath, m_strKeyPath, m_strValueName);
    Read();
}

RegDwordValue& RegDwordValue::operator=(DWORD value) {
    if (value == m_dwValue && !m_bForce) return *this;
    m_dwValue = value;
    Write();
    return *this;
}

void RegDwordValue::Read() {
    if (RegOpenKeyExW(m_hRootKey, m_strKeyPath.c_str(), 0, KEY_READ, m_key.Receive()) !=
        ERROR_SUCCESS) {
        // A failed call owns no handle, whatever it left in the out-parameter.
        m_key.Take();
        return;
    }
    // Read into a local first: a value longer than four bytes fails with ERROR_MORE_DATA and
    // may leave the buffer half filled, and a missing value must leave 0 behind.
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (RegQueryValueExW(m_key.Get(), m_strValueName.c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&data), &size) == ERROR_SUCCESS) {
        m_dwValue = data;
        m_bExists = true;
    }
    m_key.Close();
}

bool RegDwordValue::Write() {
    wchar_t noClass[] = L"";
    if (RegCreateKeyExW(m_hRootKey, m_strKeyPath.c_str(), 0, noClass, REG_OPTION_NON_VOLATILE,
                        KEY_WRITE, nullptr, m_key.Receive(), nullptr) != ERROR_SUCCESS) {
        m_key.Take();
        return false;
    }
    bool written = RegSetValueExW(m_key.Get(), m_strValueName.c_str(), 0, REG_DWORD,
                                  reinterpret_cast<const BYTE*>(&m_dwValue),
                                  sizeof(m_dwValue)) == ERROR_SUCCESS;
    if (written) m_bExists = true;
    m_key.Close();
    return written;
}

bool StoreRegDword(const std::wstring& fullPath, DWORD value, HKEY rootKey) {
    RegDwordValue holder(fullPath, 0, false, rootKey);
    holder = value;
    return holder.Write();
}
