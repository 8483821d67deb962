#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "log/trace_format.h"
#include "tests/support/format_args.h"

namespace {

TEST(TraceFormat, HeaderPadsEveryField) {
    SYSTEMTIME t = {};
    t.wYear = 2019;
    t.wMonth = 9;
    t.wDay = 16;
    t.wHour = 9;
    t.wMinute = 5;
    t.wSecond = 3;
    t.wMilliseconds = 7;
    EXPECT_EQ(FormatHeaderText(t, L"Velmora_Setup.exe", 4242, 5120),
              "[2019-09-16 09:05:03.007][Velmora_Setup.exe(4242), T:5120]");
}

// A long program name still gives the whole header: 500 ASCII characters, and 240 Korean
// characters that take two bytes each in code page 949.
TEST(TraceFormat, HeaderHoldsLongNames) {
    std::string localeBefore = setlocale(LC_ALL, nullptr);
    ASSERT_NE(setlocale(LC_ALL, "Korean"), nullptr);
    SYSTEMTIME t = {};
    t.wYear = 2024;
    t.wMonth = 12;
    t.wDay = 31;
    t.wHour = 23;
    t.wMinute = 59;
    t.wSecond = 58;
    t.wMilliseconds = 999;
    struct {
        std::wstring name;
        std::string narrow;
    } cases[] = {
        {std::wstring(500, L'a'), std::string(500, 'a')},
        {std::wstring(240, L'\xD55C') + L".exe",
         [] {
             std::string korean;
             for (int i = 0; i < 240; ++i) korean += "\xC7\xD1";
             return korean + ".exe";
         }()},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FormatHeaderText(t, c.name, 1, 2),
                  "[2024-12-31 23:59:58.999][" + c.narrow + "(1), T:2]");
    }
    setlocale(LC_ALL, localeBefore.c_str());
}

std::string Header(const std::wstring& name) {
    SYSTEMTIME t = {};
    t.wYear = 2024;
    t.wMonth = 1;
    t.wDay = 2;
    return FormatHeaderText(t, name, 7, 9);
}

// The C locale, as a program starts in, holds nothing beyond Latin-1 for the C runtime.
TEST(TraceFormat, HeaderFallsBackToAnsiForNamesTheLocaleCannotHold) {
    std::string longName(600, 'n');
    EXPECT_EQ(Header(std::wstring(longName.begin(), longName.end())),
              "[2024-01-02 00:00:00.000][" + longName + "(7), T:9]");
    EXPECT_EQ(Header(std::wstring(300, 0xC601) + L".exe"),
              "[2024-01-02 00:00:00.000][" + std::string(300, '?') + ".exe(7), T:9]");
}

TEST(TraceFormat, MessagesAppendOrLeaveTheLineAlone) {
    std::string narrow = "head:";
    EXPECT_TRUE(AppendNarrow(narrow, "SiteName: %S %x", L"Sales", 0x2Au));
    EXPECT_EQ(narrow, "head:SiteName: Sales 2a");
    EXPECT_FALSE(AppendNarrow(narrow, "SiteName: %S", L"\xC601"));
    EXPECT_EQ(narrow, "head:SiteName: Sales 2a");
    std::string longer = "head:";
    EXPECT_TRUE(AppendNarrow(longer, "%s|%S", std::string(600, 'm').c_str(), L"w"));
    EXPECT_EQ(longer, "head:" + std::string(600, 'm') + "|w");

    std::wstring wide = L"head:";
    EXPECT_TRUE(AppendWide(wide, L"%s and %S", L"\xC601\xD83D\xDE00", "ansi"));
    EXPECT_EQ(wide, L"head:\xC601\xD83D\xDE00 and ansi");
    // The runtime refuses a width beyond int, and the line keeps what it had.
    EXPECT_FALSE(AppendWide(wide, L"Width: %2147483647d", 1));
    EXPECT_EQ(wide, L"head:\xC601\xD83D\xDE00 and ansi");
}

}  // namespace
