#pragma once

#include <windows.h>
#include <cstdarg>
#include <string>

// Pure formatting of the trace lines, apart from the sink and the clock.

extern const char kScopeEntryMarker[];
extern const char kScopeExitMarker[];
extern const char kMessageSeparator[];
extern const char kConvertToAnsiFail[];
extern const wchar_t kWideFormatFail[];

// "[YYYY-MM-DD hh:mm:ss.mmm][name(pid), T:tid]" with the module name converted by the C
// runtime's locale; a name that locale cannot hold is converted with '?' for the lost
// characters instead, so a header always comes out.
std::string FormatHeaderText(const SYSTEMTIME& time, const std::wstring& moduleName,
                             unsigned processId, unsigned threadId);

// printf-style narrow formatting ("%S" is a wide string). False when the C runtime cannot
// format it, typically a wide argument the current code page cannot represent.
bool FormatNarrow(std::string& out, const char* format, va_list args);

// printf-style wide formatting ("%s" is a wide string, "%S" a narrow one).
bool FormatWide(std::wstring& out, const wchar_t* format, va_list args);
