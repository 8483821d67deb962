#include "log/trace_format.h"

#include <cstdio>
#include <cwchar>
#include <vector>

namespace {

bool FormatNarrowWith(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    bool ok = FormatNarrow(out, format, args);
    va_end(args);
    return ok;
}

std::string ToAnsiLossy(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::vector<char> buffer(static_cast<size_t>(size));
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, buffer.data(), size, nullptr, nullptr);
    return std::string(buffer.data());
}

}  // namespace

// In the C runtime's locale, as the messages are written; '?' for what that locale cannot hold.
std::string HeaderModuleName(const std::wstring& moduleName) {
    std::string name;
    if (FormatNarrowWith(name, "%S", moduleName.c_str())) return name;
    return ToAnsiLossy(moduleName);
}

TraceClock TraceClockOf(const SYSTEMTIME& time) {
    return TraceClock{time.wYear,   time.wMonth,  time.wDay,         time.wHour,
                      time.wMinute, time.wSecond, time.wMilliseconds};
}

std::string FormatHeaderText(const SYSTEMTIME& time, const std::wstring& moduleName,
                             unsigned processId, unsigned threadId) {
    return TraceHeaderText(TraceClockOf(time), HeaderModuleName(moduleName), processId, threadId);
}

bool FormatNarrow(std::string& out, const char* format, va_list args) {
    // Nearly every message fits here and costs one pass; the C runtime gives -1 both for a
    // longer one and for one it cannot convert, and the measuring pass below tells them apart.
    char shortBuffer[512];
    va_list attempt;
    va_copy(attempt, args);
    int shortLength = _vsnprintf(shortBuffer, sizeof(shortBuffer), format, attempt);
    va_end(attempt);
    if (shortLength >= 0 && static_cast<size_t>(shortLength) < sizeof(shortBuffer)) {
        out.append(shortBuffer, static_cast<size_t>(shortLength));
        return true;
    }
    va_list measure;
    va_copy(measure, args);
    int length = _vscprintf(format, measure);
    va_end(measure);
    if (length < 0) return false;
    std::vector<char> buffer(static_cast<size_t>(length) + 1);
    int written = _vsnprintf(buffer.data(), buffer.size(), format, args);
    if (written < 0) return false;
    out.append(buffer.data(), static_cast<size_t>(written));
    return true;
}

bool FormatWide(std::wstring& out, const wchar_t* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    int length = _vscwprintf(format, measure);
    va_end(measure);
    if (length < 0) return false;
    std::vector<wchar_t> buffer(static_cast<size_t>(length) + 1);
    int written = _vsnwprintf(buffer.data(), buffer.size(), format, args);
    if (written < 0) return false;
    out.append(buffer.data(), static_cast<size_t>(written));
    return true;
}
