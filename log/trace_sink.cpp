#include "log/trace_sink.h"

#include <fcntl.h>
#include <io.h>
#include <clocale>
#include <cstdio>

#include "log/trace_format.h"
#include "log/trace_test_hook.h"
#include "sys/file_access.h"
#include "sys/starting_user_file.h"
#include "sys/scoped_handle.h"

TraceLock g_traceLock;

TestSeam<AllocConsoleCall> g_allocConsole{AllocConsole};

namespace {
DWORD g_traceMode = TraceOff;
FILE* g_traceFile = nullptr;
std::wstring g_traceLogPath;
std::wstring g_traceModuleName;
// The module name as the line headers show it, and the C runtime's code page it was converted
// in: converted again only when a scope has changed the locale since.
std::string g_headerModuleName;
unsigned g_headerCodePage = 0;
bool g_headerNameValid = false;
// Whether the log file the sink opened last was opened with the right to change its access
// list, which only a user who holds that right may have it opened with.
bool g_logGrantable = false;
// Whether the stream stdout is still open after an appended line gave its descriptor back; the
// descriptor's number may since have gone to another file.
bool g_stdoutReleased = false;

void TakeSettings(const TraceSinkSettings& settings) {
    g_traceMode = settings.mode;
    g_traceLogPath = settings.logPath;
    g_traceModuleName = settings.moduleName;
    g_headerNameValid = false;
}

const std::string& HeaderModuleNameNow() {
    unsigned codePage = ___lc_codepage_func();
    if (!g_headerNameValid || codePage != g_headerCodePage) {
        g_headerModuleName = HeaderModuleName(g_traceModuleName);
        g_headerCodePage = codePage;
        g_headerNameValid = true;
    }
    return g_headerModuleName;
}

// Append mode holds the log file only while a line is written: at start and after every line
// it is closed again. The stream stays open without its descriptor, so that the next line can
// put the log's descriptor under it without reopening stdout, which is slow.
void CloseAppendSink() {
    if (g_traceMode == TraceFileAppend && g_traceFile != nullptr) {
        fflush(g_traceFile);
        _close(_fileno(g_traceFile));
        g_stdoutReleased = true;
        g_traceFile = nullptr;
    }
}

// Closes stdout if an appended line left it open without its descriptor, without closing the
// file that may since have taken that descriptor's number; false when it was not so left.
bool CloseReleasedStdout() {
    if (!g_stdoutReleased) return false;
    g_stdoutReleased = false;
    int number = _fileno(stdout);
    int taken = _get_osfhandle(number) == -1 ? -1 : _dup(number);
    fclose(stdout);
    if (taken >= 0) {
        _dup2(taken, number);
        _close(taken);
    }
    return true;
}

// Puts the open descriptor under stdout, which owns it from then on.
bool PointStdoutAt(int descriptor, const wchar_t* mode) {
    if (g_stdoutReleased) {
        int number = _fileno(stdout);
        // A new descriptor takes the lowest free number, usually the one stdout gave back.
        bool numberFree = descriptor == number || _get_osfhandle(number) == -1;
        if (numberFree) {
            g_stdoutReleased = false;
            if (descriptor == number) return true;
            bool pointed = _dup2(descriptor, number) == 0;
            _close(descriptor);
            return pointed;
        }
        CloseReleasedStdout();
    }
    // stdout of a program without a console has no descriptor to replace until it is opened.
    bool pointed =
        _wfreopen(L"NUL", mode, stdout) != nullptr && _dup2(descriptor, _fileno(stdout)) == 0;
    _close(descriptor);
    return pointed;
}

// The log path comes from the current user's registry, which any unelevated process of that
// user can write: the sink writes only into a plain file that the user who started the program
// could open or create without elevation, opened by name and never through a link, and empties
// it (mode 2) only after that has been proved. Append mode proves it again at every line's
// reopening. Standard output is pointed at that open file.
FILE* OpenLogFileOnStdout(bool empty, DWORD grantAccess) {
    ScopedKernelHandle file =
        OpenPlainFileForWritingAsStartingUser(g_traceLogPath, grantAccess, empty);
    g_logGrantable = file && grantAccess != 0;
    // A user who may write the file but not change its access list gets no grant; the log
    // still opens.
    if (!file && grantAccess != 0)
        file = OpenPlainFileForWritingAsStartingUser(g_traceLogPath, 0, empty);
    // Reopening standard output onto a log that cannot be opened leaves it closed.
    if (!file) {
        if (!CloseReleasedStdout()) fclose(stdout);
        return nullptr;
    }
    int descriptor =
        _open_osfhandle(reinterpret_cast<intptr_t>(file.Get()), _O_TEXT | (empty ? 0 : _O_APPEND));
    if (descriptor < 0) return nullptr;
    // The descriptor owns the handle now.
    file.Take();
    return PointStdoutAt(descriptor, empty ? L"w" : L"a") ? stdout : nullptr;
}

bool OpenSink(DWORD grantAccess) {
    if (g_traceLogPath.empty()) return false;
    if (g_traceFile != nullptr) {
        fclose(g_traceFile);
        g_traceFile = nullptr;
    }
    switch (g_traceMode) {
        case TraceConsole:
            CloseReleasedStdout();
            g_traceFile = _wfreopen(L"CONOUT$", L"w", stdout);
            break;
        case TraceFile:
            g_traceFile = OpenLogFileOnStdout(true, grantAccess);
            break;
        case TraceFileAppend:
            g_traceFile = OpenLogFileOnStdout(false, grantAccess);
            break;
        default:
            return false;
    }
    return g_traceFile != nullptr;
}

// Only the file this run's sink opened, and proved to be a plain file, is opened to the Users
// group; nothing else a log path may name.
void OpenLogFileToUsers() {
    if (!OpenSink(READ_CONTROL | WRITE_DAC) || !g_logGrantable) return;
    GrantUsersHandleAccess(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(g_traceFile))));
}

void OpenStartingSink(bool allocateConsole, bool grantUsers) {
    switch (g_traceMode) {
        case TraceConsole:
            if (allocateConsole) g_allocConsole.Get()();
            OpenTraceSink();
            break;
        case TraceFile:
            if (grantUsers)
                OpenLogFileToUsers();
            else
                OpenTraceSink();
            break;
        case TraceFileAppend:
            if (grantUsers)
                OpenLogFileToUsers();
            else
                OpenTraceSink();
            CloseAppendSink();
            break;
        default:
            break;
    }
}

}  // namespace

DWORD CurrentTraceMode() { return g_traceMode; }

void StartTraceSink(const TraceSinkSettings& settings) {
    TakeSettings(settings);
    OpenStartingSink(true, true);
}

TraceSinkSettings ReplaceTraceSinkForTesting(const TraceSinkSettings& settings) {
    TraceSinkSettings previous;
    previous.mode = g_traceMode;
    previous.logPath = g_traceLogPath;
    previous.moduleName = g_traceModuleName;
    g_traceFile = nullptr;
    TakeSettings(settings);
    OpenStartingSink(false, false);
    return previous;
}

bool OpenTraceSink() { return OpenSink(0); }

std::string FormatTraceHeader() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return TraceHeaderText(TraceClockOf(now), HeaderModuleNameNow(), GetCurrentProcessId(),
                           GetCurrentThreadId());
}

TraceLineGuard::TraceLineGuard() {
    g_traceLock.Enter();
    if (g_traceMode == TraceFileAppend) OpenTraceSink();
}

TraceLineGuard::~TraceLineGuard() {
    CloseAppendSink();
    g_traceLock.Leave();
}
