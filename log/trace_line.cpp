#include "log/trace_line.h"

const char kScopeEntryMarker[] = "() <<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<<";
const char kScopeExitMarker[] = "() >>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>>";
const char kMessageSeparator[] = ":    ";
const char kConvertToAnsiFail[] = "(Convert to ansi fail)";
const wchar_t kWideFormatFail[] = L"(Format fail)";

namespace {

// Digits straight into the line: a header is made for every line written.
void AppendPadded(std::string& out, std::uint32_t value, std::size_t width) {
    char digits[10];
    std::size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    if (count < width) out.append(width - count, '0');
    while (count > 0) out += digits[--count];
}

}  // namespace

std::string TraceHeaderText(const TraceClock& clock, const std::string& moduleName,
                            std::uint32_t processId, std::uint32_t threadId) {
    std::string header;
    header.reserve(48 + moduleName.size());
    header += '[';
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
    AppendPadded(header, processId, 1);
    header += "), T:";
    AppendPadded(header, threadId, 1);
    header += ']';
    return header;
}
