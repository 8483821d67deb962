#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <string>

#include "app/module_name_address.h"
#include "app/preset_split.h"
#include "install/service_descriptor.h"
#include "log/trace_format.h"
#include "tests/native/format_args.h"

// Native checks of what depends on the platform's sizes (32-bit wchar_t, 64-bit long) and of
// the limits the Wine suite's tables stay inside.

namespace {

TEST(NativePresetSplit, PortSaturatesAtTheLimitsOfInt) {
    struct Case {
        const wchar_t* preset;
        int port;
    };
    const Case cases[] = {
        {L"host:99999999999", INT_MAX}, {L"host:-99999999999", INT_MIN},
        {L"host:2147483647", INT_MAX},  {L"host:2147483648", INT_MAX},
        {L"host:-2147483648", INT_MIN}, {L"host:4294967376", INT_MAX},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        EXPECT_EQ(SplitPresetAddress(c.preset).port, c.port);
    }
}

TEST(NativeModuleNameAddress, FieldEdges) {
    struct Case {
        const wchar_t* name;
        bool parsed;
        const wchar_t* preset;
        int https;
    };
    const Case cases[] = {
        {L"a_https_host_", false, L"", 0},
        {L"a_https_host_8a", false, L"", 0},
        {L"a_https_host_-1", false, L"", 0},
        {L"a__host_80", false, L"", 0},
        {L"a_https__80", false, L"", 0},
        {L"a_b_c_https_h_1", true, L"h:1", 1},
        {L"a_https_ho:st_80", true, L"ho:st:80", 1},
        {L"a_https_\xC601\xC5C5_80", true, L"\xC601\xC5C5:80", 1},
        {L"a_https_h_99999999999999999999", true, L"h:99999999999999999999", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        std::wstring preset;
        int https = 7;
        ASSERT_EQ(ParseModuleNameAddress(c.name, preset, https), c.parsed);
        if (!c.parsed) continue;
        EXPECT_EQ(preset, c.preset);
        EXPECT_EQ(https, c.https);
    }
}

TEST(NativeDescriptor, SiteNameKeepsUtf16UnitsAsOnWindows) {
    struct Case {
        const char* label;
        std::string name;
        std::wstring site;
    };
    const Case cases[] = {
        {"beyond the basic plane", "\xF0\x9F\x98\x80x", std::wstring{0xD83D, 0xDE00, L'x'}},
        {"ill-formed byte",
         "a\xFF"
         "b",
         L"a\xFFFD"
         L"b"},
        {"name cut inside a character", std::string("\xEC\x98\0\x81", 4), L"\xFFFD"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::string bytes = "<servicename>" + c.name + "</servicename>\n";
        DescriptorReading reading = ParseServiceDescriptor(bytes.data(), bytes.size());
        EXPECT_EQ(reading.outcome, DescriptorOutcome::Found);
        EXPECT_EQ(reading.siteName, c.site);
    }
}

std::string Header(const std::wstring& name) {
    SYSTEMTIME t = {};
    t.wYear = 2024;
    t.wMonth = 1;
    t.wDay = 2;
    return FormatHeaderText(t, name, 7, 9);
}

TEST(NativeTraceFormat, HeaderAlwaysComesOut) {
    std::string longName(600, 'n');
    EXPECT_EQ(Header(std::wstring(longName.begin(), longName.end())),
              "[2024-01-02 00:00:00.000][" + longName + "(7), T:9]");
    // A name the locale cannot hold falls back to the ANSI conversion, lost characters as '?'.
    EXPECT_EQ(Header(std::wstring(300, 0xC601) + L".exe"),
              "[2024-01-02 00:00:00.000][" + std::string(300, '?') + ".exe(7), T:9]");
}

TEST(NativeTraceFormat, MessagesAppendOrLeaveTheLineAlone) {
    std::string narrow = "head:";
    EXPECT_TRUE(AppendNarrow(narrow, "SiteName: %S %x", L"Sales", 0x2Au));
    EXPECT_EQ(narrow, "head:SiteName: Sales 2a");
    EXPECT_FALSE(AppendNarrow(narrow, "SiteName: %S", L"\xC601"));
    EXPECT_EQ(narrow, "head:SiteName: Sales 2a");

    std::wstring wide = L"head:";
    EXPECT_TRUE(AppendWide(wide, L"%s and %S", L"\xC601\xD83D\xDE00", "ansi"));
    EXPECT_EQ(wide, L"head:\xC601\xD83D\xDE00 and ansi");
    EXPECT_FALSE(AppendWide(wide, L"%S", "\xEC\x98\x81"));
    EXPECT_EQ(wide, L"head:\xC601\xD83D\xDE00 and ansi");
}

}  // namespace
