#include "log/trace_log.h"

#include <cstdarg>
#include <cstdlib>

#include "log/func_trace.h"
#include "log/trace_format.h"

DWORD g_traceMode = TraceOff;
FILE* g_traceFile = nullptr;
std::wstring g_traceLogPath;
std::wstring g_traceModuleName;
TraceLock g_traceLock;

namespace {

void CloseAppendSink() {
    if (g_traceMode == TraceFileAppend && g_traceFile != nullptr) {
        fclose(g_traceFile);
        g_traceFile = nullptr;
    }
}

void WriteLine(FuncTrace& scope, const std::string& text) {
    scope.write(text.data(), static_cast<std::streamsize>(text.size()));
    scope.put('\n');
    scope.flush();
}

std::string NarrowForThreadCodePage(const std::wstring& text) {
    if (text.empty()) return std::string();
    int size = WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()),
                                   nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), &narrow[0],
                        size, nullptr, nullptr);
    return narrow;
}

// The header is widened by the C runtime's locale. A header whose module name had to be
// converted by the ANSI code page need not be valid text in that locale; it is then widened
// by the ANSI code page that made it, so the line keeps its header.
std::wstring WidenHeader(const std::string& header) {
    size_t length = mbstowcs(nullptr, header.c_str(), 0);
    if (length != static_cast<size_t>(-1)) {
        std::wstring wide(length, L'\0');
        mbstowcs(&wide[0], header.c_str(), length);
        return wide;
    }
    int size =
        MultiByteToWideChar(CP_ACP, 0, header.data(), static_cast<int>(header.size()), nullptr, 0);
    if (size <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, header.data(), static_cast<int>(header.size()), &wide[0], size);
    return wide;
}

}  // namespace

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

void TraceMsg(FuncTrace& scope, const char* format, ...) {
    if (g_traceMode == TraceOff) return;
    TraceLineGuard line;
    std::string text = FormatTraceHeader();
    text += kMessageSeparator;
    va_list args;
    va_start(args, format);
    if (!FormatNarrow(text, format, args)) text += kConvertToAnsiFail;
    va_end(args);
    WriteLine(scope, text);
}

void TraceMsgW(FuncTrace& scope, const wchar_t* format, ...) {
    if (g_traceMode == TraceOff) return;
    TraceLineGuard line;
    std::wstring text = WidenHeader(FormatTraceHeader());
    text += L":    ";
    va_list args;
    va_start(args, format);
    if (!FormatWide(text, format, args)) text += kWideFormatFail;
    va_end(args);
    WriteLine(scope, NarrowForThreadCodePage(text));
}
