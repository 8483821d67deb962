#pragma once

#include <cstdint>
#include <string>

// The texts of a trace line that need neither the clock nor the C runtime.

extern const char kScopeEntryMarker[];
extern const char kScopeExitMarker[];
extern const char kMessageSeparator[];
extern const char kConvertToAnsiFail[];
extern const wchar_t kWideFormatFail[];

// The clock fields of one line, as the system's local time gives them.
struct TraceClock {
    std::uint16_t year;
    std::uint16_t month;
    std::uint16_t day;
    std::uint16_t hour;
    std::uint16_t minute;
    std::uint16_t second;
    std::uint16_t milliseconds;
};

// "[YYYY-MM-DD hh:mm:ss.mmm][name(pid), T:tid]": every clock field at least as wide as its
// place, a wider value whole; the module name as it stands, already in the log's code page.
std::string TraceHeaderText(const TraceClock& clock, const std::string& moduleName,
                            std::uint32_t processId, std::uint32_t threadId);
