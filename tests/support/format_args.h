#pragma once

#include <cstdarg>
#include <string>

#include "log/trace_format.h"

// The trace formatting takes a va_list; these hand it an argument list written in place.
inline bool AppendNarrow(std::string& out, const char* format, ...) {
    va_list args;
    va_start(args, format);
    bool ok = FormatNarrow(out, format, args);
    va_end(args);
    return ok;
}

inline bool AppendWide(std::wstring& out, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    bool ok = FormatWide(out, format, args);
    va_end(args);
    return ok;
}
