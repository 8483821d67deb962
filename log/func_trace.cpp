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
    if (CurrentTraceMode() == TraceOff) return;
    try {
        WriteScopeLine(kScopeExitMarker);
    } catch (...) {
        // An exit line that cannot be built is dropped; a scope's end never throws.
    }
}

void FuncTrace::WriteScopePrefix() {
    std::string prefix = FormatTraceHeader();
    prefix += m_funcName;
    write(prefix.data(), static_cast<std::streamsize>(prefix.size()));
}

void FuncTrace::WriteScopeLine(const char* marker) {
    TraceLineGuard line;
    WriteScopePrefix();
    *this << marker;
    put('\n');
    flush();
}
