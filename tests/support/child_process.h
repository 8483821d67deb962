#pragma once

// Helpers for the tests that start real programs: copies of built programs and child
// processes with a time limit.

#include <windows.h>
#include <cstdio>
#include <filesystem>
#include <string>

#include "sys/scoped_handle.h"
#include "tests/support/test_files.h"

inline std::wstring FixturePath(const wchar_t* name) {
    return std::wstring(VELMORA_BINARY_DIR_W) + L"\\fixtures\\" + name;
}

inline std::wstring DistPath(const wchar_t* name) {
    return std::wstring(VELMORA_DIST_DIR_W) + L"\\" + name;
}

inline bool CopyProgram(const std::wstring& from, const std::wstring& to) {
    return CopyFileW(from.c_str(), to.c_str(), FALSE) != FALSE;
}

// A started program that is ended by force if the test is left before it ended by itself.
class ChildProcess {
  public:
    // program is started in workingFolder, by default its own directory; with stdOut its
    // standard output and error go to that inheritable handle.
    bool Start(const std::wstring& program, const std::wstring& arguments, HANDLE stdOut = nullptr,
               DWORD creationFlags = 0, const wchar_t* workingFolder = nullptr) {
        std::wstring commandLine = L"\"" + program + L"\"";
        if (!arguments.empty()) commandLine += L" " + arguments;
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        if (stdOut != nullptr) {
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdOutput = stdOut;
            startup.hStdError = stdOut;
        }
        PROCESS_INFORMATION info = {};
        std::wstring directory = workingFolder != nullptr
                                     ? std::wstring(workingFolder)
                                     : std::filesystem::path(program).parent_path().wstring();
        if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, stdOut != nullptr,
                            creationFlags, nullptr, directory.c_str(), &startup, &info)) {
            // The reason goes with the test's output: a start can fail for reasons of the host.
            fwprintf(stderr, L"CreateProcessW %ls: error %lu\n", program.c_str(), GetLastError());
            return false;
        }
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

    DWORD ProcessId() const { return m_processId; }

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

// How a program started by RunChild ended: finished is false when it could not start or did
// not end in time (it is then ended by force).
struct ChildRun {
    bool finished = false;
    DWORD exitCode = 0;
    DWORD processId = 0;
};

inline ChildRun RunChild(const std::wstring& program, const std::wstring& arguments,
                         HANDLE stdOut = nullptr, DWORD creationFlags = 0,
                         DWORD timeoutMs = 60000) {
    ChildRun run;
    ChildProcess child;
    if (!child.Start(program, arguments, stdOut, creationFlags)) return run;
    run.processId = child.ProcessId();
    long code = child.WaitForExit(timeoutMs);
    run.finished = code != -1;
    run.exitCode = static_cast<DWORD>(code);
    return run;
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
