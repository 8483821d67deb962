#include "log/trace_line.h"

const char kScopeEntryMarker[] = "() <<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<";
const char kScopeExitMarker[] = "() >>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>";
const char kMessageSeparator[] = ":    ";
const char kConvertToAnsiFail[] = "(Convert to ansi fail)";
const wchar_t kWideFormatFail[] = L"(Format fail)";

namespace {

void AppendPadded(std::string& out, unsigned value, std::size_t width) {
    std::string digits = std::to_string(value);
    if (digits.size() < width) out.append(width - digits.size(), '0');
    out += digits;
}

}  // namespace

std::string TraceHeaderText(const TraceClock& clock, const std::string& moduleName,
                            std::uint32_t processId, std::uint32_t threadId) {
    std::string header = "[";
    AppendPadded(header, clock.year, 4);
    header += '-';
    AppendPadded(header, clock.month, 2);
    header += '-';
    AppendPadded(header, clock.day, 2);
    header += ' ';
    AppendPadded(header, clock.hour, 2);
    header += ':';
    AppendPadded(header, clock.minute, 2);
    header += ':';
    AppendPadded(header, clock.second, 2);
    header += '.';
    AppendPadded(header, clock.milliseconds, 3);
    header += "][";
    header += moduleName;
    header += '(';
    header += std::to_string(processId);
    header += "), T:";
    header += std::to_string(threadId);
    header += ']';
    return header;
}
