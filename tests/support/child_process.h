#pragma once

// Helpers for the tests that start real programs: a private temporary folder, copies of built
// programs, child processes with a time limit, and whole-file reads.

#include <windows.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "sys/scoped_handle.h"

// A fresh folder under the temporary directory, removed with everything in it at the end.
class TempFolder {
  public:
    explicit TempFolder(const std::wstring& prefix) {
        wchar_t base[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, base);
        m_path = std::wstring(base) + prefix + L"_" + std::to_wstring(GetCurrentProcessId()) +
                 L"_" + std::to_wstring(GetTickCount());
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }

  private:
    std::wstring m_path;
};

inline std::wstring FixturePath(const wchar_t* name) {
    return std::wstring(VELMORA_BINARY_DIR_W) + L"\\fixtures\\" + name;
}

inline std::wstring DistPath(const wchar_t* name) {
    return std::wstring(VELMORA_DIST_DIR_W) + L"\\" + name;
}

inline bool CopyProgram(const std::wstring& from, const std::wstring& to) {
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

inline std::string ReadWholeFile(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool WriteWholeFile(const std::wstring& path, const std::string& content) {
    std::ofstream out(std::filesystem::path(path), std::ios::binary | std::ios::trunc);
    out << content;
    return static_cast<bool>(out);
}

// A started program that is ended by force if the test is left before it ended by itself.
class ChildProcess {
  public:
    // program is started with its own directory as working directory.
    bool Start(const std::wstring& program, const std::wstring& arguments) {
        std::wstring commandLine = L"\"" + program + L"\"";
        if (!arguments.empty()) commandLine += L" " + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info = {};
        std::wstring directory = std::filesystem::path(program).parent_path().wstring();
        if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                            directory.c_str(), &startup, &info))
            return false;
        m_process.Reset(info.hProcess);
        ScopedKernelHandle thread(info.hThread);
        m_processId = info.dwProcessId;
        return true;
    }

    // The exit code, or -1 when the program did not end in time.
    long WaitForExit(DWORD timeoutMs) {
        if (WaitForSingleObject(m_process.Get(), timeoutMs) != WAIT_OBJECT_0) return -1;
        DWORD code = 0;
        GetExitCodeProcess(m_process.Get(), &code);
        return static_cast<long>(code);
    }

    // Asks every top-level window of the program to close, as the user would.
    void CloseWindows() { EnumWindows(&CloseIfOwned, static_cast<LPARAM>(m_processId)); }

    ~ChildProcess() {
        if (m_process && WaitForSingleObject(m_process.Get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_process.Get(), 1);
            WaitForSingleObject(m_process.Get(), 5000);
        }
    }

  private:
    static BOOL CALLBACK CloseIfOwned(HWND window, LPARAM processId) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == static_cast<DWORD>(processId)) PostMessageW(window, WM_CLOSE, 0, 0);
        return TRUE;
    }

    ScopedKernelHandle m_process;
    DWORD m_processId = 0;
};

// Runs a program to its end; the exit code, or -1 when it could not start or did not end.
inline long RunToEnd(const std::wstring& program, const std::wstring& arguments,
                     DWORD timeoutMs = 60000) {
    ChildProcess child;
    if (!child.Start(program, arguments)) return -1;
    return child.WaitForExit(timeoutMs);
}

// Wine picks the Windows version it shows a program by the program's file name.
inline void SetWineVersionFor(const std::wstring& exeName, const wchar_t* version) {
    std::wstring key = L"Software\\Wine\\AppDefaults\\" + exeName;
    RegSetKeyValueW(HKEY_CURRENT_USER, key.c_str(), L"Version", REG_SZ, version,
                    static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t)));
}

inline void ForgetWineVersionFor(const std::wstring& exeName) {
    std::wstring key = L"Software\\Wine\\AppDefaults\\" + exeName;
    RegDeleteKeyW(HKEY_CURRENT_USER, key.c_str());
}
