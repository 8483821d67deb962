// Starts one program and times it from inside Wine, so that Wine's own start-up is not counted:
//   bench_watch window LIMIT_S PROGRAM [ARGS...]  seconds until the program's first dialog is
//                                                 shown and serving messages; then closes it
//   bench_watch run LIMIT_S PROGRAM [ARGS...]     seconds until the program has ended
// Prints the seconds; exit code 0 when the program got there within LIMIT_S seconds, 3 when it
// died of an exception on the way.
#include <windows.h>
#include <cstdio>
#include <cwchar>
#include <string>

#include "sys/scoped_handle.h"

namespace {

constexpr DWORD kPollMs = 1;
constexpr DWORD kResponseMs = 5000;
constexpr DWORD kCloseMs = 10000;
constexpr DWORD kFirstExceptionCode = 0xC0000000;

struct WindowSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindShownDialog(HWND window, LPARAM context) {
    WindowSearch* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
    wchar_t className[16] = {};
    GetClassNameW(window, className, 16);
    if (wcscmp(className, L"#32770") != 0) return TRUE;
    search->found = window;
    return FALSE;
}

// Arguments are quoted as the C runtime splits them; none of ours holds a quote.
std::wstring CommandLine(int argc, wchar_t** argv) {
    std::wstring line;
    for (int i = 0; i < argc; ++i) {
        if (i > 0) line += L' ';
        line += L'"';
        line += argv[i];
        line += L'"';
    }
    return line;
}

double SecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) / frequency.QuadPart;
}

HWND WaitForShownDialog(DWORD processId, HANDLE process, double limit, const LARGE_INTEGER& start) {
    WindowSearch search = {processId, nullptr};
    while (SecondsSince(start) < limit) {
        EnumWindows(FindShownDialog, reinterpret_cast<LPARAM>(&search));
        if (search.found != nullptr) {
            DWORD_PTR ignored = 0;
            if (SendMessageTimeoutW(search.found, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kResponseMs,
                                    &ignored))
                return search.found;
            return nullptr;
        }
        if (WaitForSingleObject(process, kPollMs) == WAIT_OBJECT_0) return nullptr;
    }
    return nullptr;
}

void CloseProgram(HWND dialog, HANDLE process) {
    if (dialog != nullptr) PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    if (WaitForSingleObject(process, kCloseMs) != WAIT_OBJECT_0) TerminateProcess(process, 1);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    bool window = argc >= 4 && wcscmp(argv[1], L"window") == 0;
    bool run = argc >= 4 && wcscmp(argv[1], L"run") == 0;
    if (!window && !run) {
        fwprintf(stderr, L"usage: bench_watch window|run LIMIT_S PROGRAM [ARGS...]\n");
        return 2;
    }
    double limit = _wtof(argv[2]);
    std::wstring commandLine = CommandLine(argc - 3, argv + 3);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (!CreateProcessW(argv[3], &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        fwprintf(stderr, L"bench_watch: cannot start %ls (%lu)\n", argv[3], GetLastError());
        return 1;
    }
    ScopedKernelHandle process(info.hProcess);
    ScopedKernelHandle thread(info.hThread);

    bool reached = false;
    double seconds = 0;
    if (window) {
        HWND dialog = WaitForShownDialog(info.dwProcessId, process.Get(), limit, start);
        seconds = SecondsSince(start);
        reached = dialog != nullptr;
        CloseProgram(dialog, process.Get());
    } else {
        DWORD waited = WaitForSingleObject(process.Get(), static_cast<DWORD>(limit * 1000));
        seconds = SecondsSince(start);
        reached = waited == WAIT_OBJECT_0;
        if (!reached) TerminateProcess(process.Get(), 1);
    }
    printf("%.4f\n", seconds);
    if (!reached) fwprintf(stderr, L"bench_watch: %ls did not get there in time\n", argv[3]);
    // An exception nobody handled ends a process with its code: the watched program died.
    DWORD exitCode = 0;
    if (reached && GetExitCodeProcess(process.Get(), &exitCode) &&
        exitCode >= kFirstExceptionCode) {
        fwprintf(stderr, L"bench_watch: %ls died of exception 0x%08lx\n", argv[3], exitCode);
        return 3;
    }
    return reached ? 0 : 1;
}
