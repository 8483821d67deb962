#include "log/trace_format.h"

#include <cstdio>
#include <cwchar>
#include <vector>

const char kScopeEntryMarker[] = "() <<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<";
const char kScopeExitMarker[] = "() >>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>";
const char kMessageSeparator[] = ":    ";
const char kConvertToAnsiFail[] = "(Convert to ansi fail)";
const wchar_t kWideFormatFail[] = L"(Format fail)";

namespace {

// Sized to the text: a file name may take up to 255 characters, which a double-byte or UTF-8
// code page makes far longer than any fixed buffer would allow for.
std::string FormatHeaderWith(const char* format, ...) {
    std::string header;
    va_list args;
    va_start(args, format);
    if (!FormatNarrow(header, format, args)) header.clear();
    va_end(args);
    return header;
}

std::string ToAnsiLossy(const std::wstring& text) {
    int size = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::vector<char> buffer(static_cast<size_t>(size));
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, buffer.data(), size, nullptr, nullptr);
    return std::string(buffer.data());
}

}  // namespace

std::string FormatHeaderText(const SYSTEMTIME& time, const std::wstring& moduleName,
                             unsigned processId, unsigned threadId) {
    std::string header =
        FormatHeaderWith("[%04d-%02d-%02d %02d:%02d:%02d.%03d][%S(%u), T:%u]", time.wYear,
                         time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond,
                         time.wMilliseconds, moduleName.c_str(), processId, threadId);
    if (header.empty()) {
        std::string name = ToAnsiLossy(moduleName);
        header = FormatHeaderWith("[%04d-%02d-%02d %02d:%02d:%02d.%03d][%s(%u), T:%u]", time.wYear,
                                  time.wMonth, time.wDay, time.wHour, time.wMinute, time.wSecond,
                                  time.wMilliseconds, name.c_str(), processId, threadId);
    }
    return header;
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
