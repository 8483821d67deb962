#include "log/func_trace.h"

#include <clocale>
#include <iostream>

#include "log/trace_format.h"
#include "log/trace_sink.h"

FuncTrace::FuncTrace(const char* funcName)
    : std::basic_ostream<char>(CurrentTraceMode() != TraceOff ? std::cout.rdbuf() : nullptr),
      m_funcName(funcName) {
    if (rdbuf() == nullptr) return;
    setlocale(LC_ALL, "Korean");
    WriteScopeLine(kScopeEntryMarker);
}

FuncTrace::~FuncTrace() {
    // A scope opened while tracing was off has no buffer: its end costs nothing more.
    if (rdbuf() == nullptr || CurrentTraceMode() == TraceOff) return;
    try {
        WriteScopeLine(kScopeExitMarker);
    } catch (...) {
        // An exit line that cannot be built is dropped; a scope's end never throws.
    }
}

// The whole line goes to the buffer in one write, then to the sink in one flush.
void FuncTrace::WriteScopeLine(const char* marker) {
    TraceLineGuard line;
    std::string text = FormatTraceHeader();
    text += m_funcName;
    text += marker;
    text += '\n';
    write(text.data(), static_cast<std::streamsize>(text.size()));
    flush();
}
