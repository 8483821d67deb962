#include "install/program_launch.h"

#include <windows.h>
#include <shellapi.h>

#include "log/func_trace.h"
#include "log/trace_log.h"
#include "sys/lazy_api.h"
#include "sys/scoped_handle.h"

bool RunAndWait(FuncTrace& scope, const wchar_t* file, const char* fileForLog,
                const wchar_t* parameters, const std::wstring& directory,
                ScopedKernelHandle& held) {
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC;
    info.lpVerb = L"open";
    info.lpFile = file;
    info.lpParameters = parameters;
    info.lpDirectory = directory.c_str();
    info.nShow = SW_SHOW;
    // The loader opens the image for reading and execution, which the hold's read sharing
    // allows; the mapped image cannot be written any more once the process exists.
    BOOL started = LazyApi::ShellExecuteExW(&info);
    held.Close();
    if (!started) return false;
    ScopedKernelHandle process(info.hProcess);
    if (WaitForSingleObject(process.Get(), INFINITE) == WAIT_OBJECT_0) {
        TraceMsg(scope, "%s run Success...", fileForLog);
        return true;
    }
    TraceMsg(scope, "%s run Fail___", fileForLog);
    return false;
}
