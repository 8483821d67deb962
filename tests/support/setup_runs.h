#pragma once

// What the tests that run the setup (whole or its steps) share: where it lays out its files,
// the trace switch of a program copy, and the record the fake installer and agent leave.

#include <windows.h>
#include <shlobj.h>
#include <string>

#include "sys/scoped_handle.h"
#include "tests/support/child_process.h"

// The Program Files folder the 32-bit program sees.
inline std::wstring ProgramFilesDir() {
    wchar_t folder[MAX_PATH] = {};
    SHGetSpecialFolderPathW(nullptr, folder, CSIDL_PROGRAM_FILES, FALSE);
    return folder;
}

// Mode 2 (a file, emptied at start) at logPath for the program file exeName.
inline void SwitchTraceToFile(const std::wstring& exeName, const std::wstring& logPath) {
    ScopedRegKey key;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Velmora", 0, nullptr, 0, KEY_WRITE, nullptr,
                    key.Receive(), nullptr);
    DWORD mode = 2;
    RegSetValueExW(key.Get(), (exeName + L".log").c_str(), 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&mode), sizeof(mode));
    RegSetValueExW(key.Get(), (exeName + L".log.path").c_str(), 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(logPath.c_str()),
                   static_cast<DWORD>((logPath.size() + 1) * sizeof(wchar_t)));
}

inline void ForgetTraceFor(const std::wstring& exeName) {
    ScopedRegKey key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Velmora", 0, KEY_SET_VALUE, key.Receive()) !=
        ERROR_SUCCESS)
        return;
    RegDeleteValueW(key.Get(), (exeName + L".log").c_str());
    RegDeleteValueW(key.Get(), (exeName + L".log.path").c_str());
}

// How often a fake program ("fake_installer", "fake_agent") wrote its record.
inline int TimesStarted(const std::wstring& recordPath, const char* program) {
    std::string record = ReadWholeFile(recordPath);
    std::string key = std::string("program=") + program + "\n";
    int count = 0;
    for (size_t at = record.find(key); at != std::string::npos; at = record.find(key, at + 1))
        ++count;
    return count;
}
