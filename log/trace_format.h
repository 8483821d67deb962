#pragma once

#include <windows.h>
#include <cstdarg>
#include <string>

#include "log/trace_line.h"

// The trace line's formatting through the C runtime, apart from the sink and the clock.

// The header of log/trace_line.h with the module name converted by the C runtime's locale; a
// name that locale cannot hold is converted with '?' for the lost characters instead, so a
// header always comes out.
std::string FormatHeaderText(const SYSTEMTIME& time, const std::wstring& moduleName,
                             unsigned processId, unsigned threadId);

// The two halves of FormatHeaderText, for a writer that converts the module name once: the
// name as the header shows it in the C runtime's current locale, and the clock of a line.
std::string HeaderModuleName(const std::wstring& moduleName);
TraceClock TraceClockOf(const SYSTEMTIME& time);

// printf-style narrow formatting ("%S" is a wide string). False when the C runtime cannot
// format it, typically a wide argument the current code page cannot represent.
bool FormatNarrow(std::string& out, const char* format, va_list args);

// printf-style wide formatting ("%s" is a wide string, "%S" a narrow one).
bool FormatWide(std::wstring& out, const wchar_t* format, va_list args);
