#pragma once

#include <windows.h>
#include <string>

#include "sys/scoped_handle.h"

// One open registry key, closed when it goes out of scope. Every call returns the system's
// own result, so that a failure can be logged or passed on with the code the system gave.
class RegKey {
  public:
    RegKey() = default;

    // Creates the key and any missing keys above it as lasting keys, or opens it if it exists.
    LONG Create(HKEY root, const std::wstring& path, REGSAM access);
    LONG Open(HKEY root, const std::wstring& path, REGSAM access);

    // Reads four bytes of any type; a longer value fails and leaves the number as it was.
    LONG ReadDword(const std::wstring& name, DWORD& value) const;
    // Reads a text of at most maxUnits characters; a longer one fails and leaves the text as
    // it was. A text stored without its terminating NUL is read up to its end.
    LONG ReadString(const std::wstring& name, DWORD maxUnits, std::wstring& text) const;

    LONG WriteDword(const std::wstring& name, DWORD value);
    // Stores REG_SZ with the terminating NUL.
    LONG WriteString(const std::wstring& name, const std::wstring& text);

  private:
    LONG Adopt(LONG result);

    ScopedRegKey m_key;
};
