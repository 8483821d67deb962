#include "log/trace_log.h"

#include <cstdarg>
#include <cstdlib>
#include <string>
#include <utility>

#include "log/func_trace.h"
#include "log/trace_format.h"
#include "log/trace_sink.h"
#include "sys/text_convert.h"

namespace {

// The line and its end in one write, then one flush.
void WriteLine(FuncTrace& scope, std::string text) {
    text += '\n';
    scope.write(text.data(), static_cast<std::streamsize>(text.size()));
    scope.flush();
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
    return CodePageToWide(CP_ACP, header);
}

}  // namespace

void TraceMsg(FuncTrace& scope, const char* format, ...) {
    if (CurrentTraceMode() == TraceOff) return;
    TraceLineGuard line;
    std::string text = FormatTraceHeader();
    text += kMessageSeparator;
    va_list args;
    va_start(args, format);
    if (!FormatNarrow(text, format, args)) text += kConvertToAnsiFail;
    va_end(args);
    WriteLine(scope, std::move(text));
}

void TraceMsgW(FuncTrace& scope, const wchar_t* format, ...) {
    if (CurrentTraceMode() == TraceOff) return;
    TraceLineGuard line;
    std::wstring text = WidenHeader(FormatTraceHeader());
    text += L":    ";
    va_list args;
    va_start(args, format);
    if (!FormatWide(text, format, args)) text += kWideFormatFail;
    va_end(args);
    WriteLine(scope, WideToCodePage(CP_THREAD_ACP, text));
}
