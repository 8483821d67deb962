#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "log/trace_format.h"

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
#ifndef _WIN32
    GTEST_SKIP() << "the C runtime's Korean code page exists on Windows only";
#endif
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
