#include "sys/reg_key.h"

#include <vector>

LONG RegKey::Create(HKEY root, const std::wstring& path, REGSAM access) {
    return Adopt(RegCreateKeyExW(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access,
                                 nullptr, m_key.Receive(), nullptr));
}

LONG RegKey::Open(HKEY root, const std::wstring& path, REGSAM access) {
    return Adopt(RegOpenKeyExW(root, path.c_str(), 0, access, m_key.Receive()));
}

// A failed call owns no handle, whatever it left in the out-parameter.
LONG RegKey::Adopt(LONG result) {
    if (result != ERROR_SUCCESS) m_key.Take();
    return result;
}

LONG RegKey::ReadDword(const std::wstring& name, DWORD& value) const {
    // Read into a local first: a longer value fails with ERROR_MORE_DATA and may leave the
    // buffer half filled.
    DWORD data = 0;
    DWORD size = sizeof(data);
    LONG result = RegQueryValueExW(m_key.Get(), name.c_str(), nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(&data), &size);
    if (result == ERROR_SUCCESS) value = data;
    return result;
}

LONG RegKey::ReadString(const std::wstring& name, DWORD maxUnits, std::wstring& text) const {
    // One unit beyond the limit keeps an unterminated value terminated.
    std::vector<wchar_t> buffer(maxUnits + 1, L'\0');
    DWORD size = maxUnits * sizeof(wchar_t);
    LONG result = RegQueryValueExW(m_key.Get(), name.c_str(), nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(buffer.data()), &size);
    if (result == ERROR_SUCCESS) text = buffer.data();
    return result;
}

LONG RegKey::WriteDword(const std::wstring& name, DWORD value) {
    return RegSetValueExW(m_key.Get(), name.c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

LONG RegKey::WriteString(const std::wstring& name, const std::wstring& text) {
    DWORD size = static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(m_key.Get(), name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(text.c_str()), size);
}
