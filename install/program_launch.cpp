#include "install/program_launch.h"

#include "log/func_trace.h"
#include "log/trace_log.h"
#include "sys/child_environment.h"
#include "sys/path_text.h"
#include "sys/plain_file.h"

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

bool RunAndWait(FuncTrace& scope, const char* fileForLog, const wchar_t* parameters,
                ScopedKernelHandle& held, const LaunchSetting& setting) {
    // The path of the very file the step holds, as the file system names it now: no search
    // along any path, no shell verb looked up through the per-user classes of HKCU, and no
    // folder above it found again by a name that may have been turned into a junction.
    std::wstring path;
    if (!ReadFinalPath(held.Get(), path)) {
        TraceMsg(scope, "ProgramPath fail___(lastErr: %d)", static_cast<int>(GetLastError()));
        held.Close();
        return false;
    }
    std::wstring directory = FolderOfPath(path);
    std::wstring commandLine = CommandLineFor(path, parameters);
    std::wstring environment;
    if (!setting.tempFolder.empty())
        environment = EnvironmentBlockWithTemp(OwnEnvironmentEntries(), setting.tempFolder);
    void* block = environment.empty() ? nullptr : &environment[0];
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process = {};
    // The loader opens the image for reading and execution, which the hold's read sharing
    // allows; the mapped image cannot be written any more once the process exists.
    BOOL started = setting.userToken != nullptr
                       ? CreateProcessAsUserW(setting.userToken, path.c_str(), &commandLine[0],
                                              nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                                              block, directory.c_str(), &startup, &process)
                       : CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE,
                                        CREATE_UNICODE_ENVIRONMENT, block, directory.c_str(),
                                        &startup, &process);
    DWORD error = GetLastError();
    held.Close();
    if (!started) {
        TraceMsg(scope, "CreateProcess fail___(lastErr: %d)", static_cast<int>(error));
        return false;
    }
    ScopedKernelHandle thread(process.hThread);
    ScopedKernelHandle child(process.hProcess);
    if (WaitForSingleObject(child.Get(), INFINITE) == WAIT_OBJECT_0) {
        TraceMsg(scope, "%s run Success...", fileForLog);
        return true;
    }
    TraceMsg(scope, "%s run Fail___", fileForLog);
    return false;
}
