#include "log/trace_sink.h"

#include <cstdio>

#include "log/trace_format.h"
#include "log/trace_test_hook.h"

TraceLock g_traceLock;

namespace {

AllocConsoleCall g_allocConsole = AllocConsole;
DWORD g_traceMode = TraceOff;
FILE* g_traceFile = nullptr;
std::wstring g_traceLogPath;
std::wstring g_traceModuleName;

void TakeSettings(const TraceSinkSettings& settings) {
    g_traceMode = settings.mode;
    g_traceLogPath = settings.logPath;
    g_traceModuleName = settings.moduleName;
}

// Append mode holds the log file only while a line is written: at start and after every line
// it is closed again.
void CloseAppendSink() {
    if (g_traceMode == TraceFileAppend && g_traceFile != nullptr) {
        fclose(g_traceFile);
        g_traceFile = nullptr;
    }
}

void OpenStartingSink(bool allocateConsole) {
    switch (g_traceMode) {
        case TraceConsole:
            if (allocateConsole) g_allocConsole();
            OpenTraceSink();
            break;
        case TraceFile:
            OpenTraceSink();
            break;
        case TraceFileAppend:
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
    OpenStartingSink(true);
}

TraceSinkSettings ReplaceTraceSinkForTesting(const TraceSinkSettings& settings) {
    TraceSinkSettings previous;
    previous.mode = g_traceMode;
    previous.logPath = g_traceLogPath;
    previous.moduleName = g_traceModuleName;
    g_traceFile = nullptr;
    TakeSettings(settings);
    OpenStartingSink(false);
    return previous;
}

AllocConsoleCall ReplaceAllocConsoleForTesting(AllocConsoleCall call) {
    AllocConsoleCall previous = g_allocConsole;
    g_allocConsole = call;
    return previous;
}

bool OpenTraceSink() {
    if (g_traceLogPath.empty()) return false;
    if (g_traceFile != nullptr) {
        fclose(g_traceFile);
        g_traceFile = nullptr;
    }
    switch (g_traceMode) {
        case TraceConsole:
            g_traceFile = _wfreopen(L"CONOUT$", L"w", stdout);
            break;
        case TraceFile:
            g_traceFile = _wfreopen(g_traceLogPath.c_str(), L"w", stdout);
            break;
        case TraceFileAppend:
            g_traceFile = _wfreopen(g_traceLogPath.c_str(), L"a", stdout);
            break;
        default:
            return false;
    }
    return g_traceFile != nullptr;
}

std::string FormatTraceHeader() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return FormatHeaderText(now, g_traceModuleName, GetCurrentProcessId(), GetCurrentThreadId());
}

TraceLineGuard::TraceLineGuard() {
    g_traceLock.Enter();
    if (g_traceMode == TraceFileAppend) OpenTraceSink();
}

TraceLineGuard::~TraceLineGuard() {
    CloseAppendSink();
    g_traceLock.Leave();
}
