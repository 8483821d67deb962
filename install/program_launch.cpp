#include "install/program_launch.h"

#include <windows.h>

#include "log/func_trace.h"
#include "log/trace_log.h"
#include "sys/scoped_handle.h"

namespace {

// The program's own name in quotes, as the system would pass it, then the parameters.
std::wstring CommandLineFor(const std::wstring& path, const wchar_t* parameters) {
    std::wstring commandLine = L"\"" + path + L"\"";
    if (parameters != nullptr && *parameters != L'\0') {
        commandLine += L' ';
        commandLine += parameters;
    }
    return commandLine;
}

}  // namespace

bool RunAndWait(FuncTrace& scope, const wchar_t* file, const char* fileForLog,
                const wchar_t* parameters, const std::wstring& directory,
                ScopedKernelHandle& held) {
    // The full path of the file the step holds: no search along any path, and no shell verb
    // looked up through the per-user classes of HKCU\Software\Classes.
    std::wstring path = directory + L"\\" + file;
    std::wstring commandLine = CommandLineFor(path, parameters);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process = {};
    // The loader opens the image for reading and execution, which the hold's read sharing
    // allows; the mapped image cannot be written any more once the process exists.
    BOOL started = CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                                  nullptr, directory.c_str(), &startup, &process);
    held.Close();
    if (!started) return false;
    ScopedKernelHandle thread(process.hThread);
    ScopedKernelHandle child(process.hProcess);
    if (WaitForSingleObject(child.Get(), INFINITE) == WAIT_OBJECT_0) {
        TraceMsg(scope, "%s run Success...", fileForLog);
        return true;
    }
    TraceMsg(scope, "%s run Fail___", fileForLog);
    return false;
}
