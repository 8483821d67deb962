// The trace header and message formatting: any clock fields, module name and message texts
// give a header and a line that read back to what went in.

#include <fuzzer/FuzzedDataProvider.h>

#include <windows.h>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_text.h"
#include "log/trace_format.h"
#include "tests/native/format_args.h"

using fuzztext::Require;
using fuzztext::UpToZero;

namespace {

// Native formatting runs in the C locale, whose code page holds ASCII only: the C runtime's
// "%S" fails for anything else and the header falls back to '?' for every unit it lost.
std::string AsAscii(const std::wstring& text) {
    std::string ascii;
    for (wchar_t c : text) ascii.push_back(c >= 0 && c < 0x80 ? static_cast<char>(c) : '?');
    return ascii;
}

bool IsAscii(const std::wstring& text) {
    for (wchar_t c : text) {
        if (c < 0 || c >= 0x80) return false;
    }
    return true;
}

bool IsAscii(const std::string& text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

void CheckHeader(const SYSTEMTIME& t, const std::wstring& name, unsigned pid, unsigned tid) {
    std::string header = FormatHeaderText(t, name, pid, tid);
    char expected[80];
    std::snprintf(expected, sizeof(expected), "[%04d-%02d-%02d %02d:%02d:%02d.%03d][", t.wYear,
                  t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
    std::string clock(expected);
    std::string ids = "(" + std::to_string(pid) + "), T:" + std::to_string(tid) + "]";
    Require(header == clock + AsAscii(UpToZero(name)) + ids, "header does not read back");
}

void CheckMessages(const std::wstring& wide, const std::string& narrow, unsigned number) {
    std::wstring wideArg = UpToZero(wide);
    std::string narrowArg = UpToZero(narrow);
    char hex[16];
    std::snprintf(hex, sizeof(hex), "%x", number);

    std::string line = "head";
    bool narrowOk = AppendNarrow(line, "SiteName: %S|%s|%x", wide.c_str(), narrow.c_str(), number);
    Require(narrowOk == IsAscii(wideArg), "narrow formatting fails or passes wrongly");
    Require(line == (narrowOk ? "head"
                                "SiteName: " +
                                    AsAscii(wideArg) + "|" + narrowArg + "|" + hex
                              : std::string("head")),
            "narrow line does not read back or a failure changed it");

    std::wstring wideLine = L"head";
    bool wideOk = AppendWide(wideLine, L"%s|%S|%x", wide.c_str(), narrow.c_str(), number);
    Require(wideOk == IsAscii(narrowArg), "wide formatting fails or passes wrongly");
    std::wstring expected = L"head";
    if (wideOk) {
        expected += wideArg + L"|" + std::wstring(narrowArg.begin(), narrowArg.end()) + L"|" +
                    std::wstring(hex, hex + std::char_traits<char>::length(hex));
    }
    Require(wideLine == expected, "wide line does not read back or a failure changed it");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider provider(data, size);
    SYSTEMTIME t;
    t.wYear = provider.ConsumeIntegral<WORD>();
    t.wMonth = provider.ConsumeIntegral<WORD>();
    t.wDayOfWeek = provider.ConsumeIntegral<WORD>();
    t.wDay = provider.ConsumeIntegral<WORD>();
    t.wHour = provider.ConsumeIntegral<WORD>();
    t.wMinute = provider.ConsumeIntegral<WORD>();
    t.wSecond = provider.ConsumeIntegral<WORD>();
    t.wMilliseconds = provider.ConsumeIntegral<WORD>();
    unsigned pid = provider.ConsumeIntegral<unsigned>();
    unsigned tid = provider.ConsumeIntegral<unsigned>();
    std::vector<std::string> fields = fuzztext::Fields(provider.ConsumeRemainingBytesAsString(), 3);

    CheckHeader(t, fuzztext::Wide(fields[0]), pid, tid);
    CheckMessages(fuzztext::Wide(fields[1]), fields[2], pid);
    return 0;
}
