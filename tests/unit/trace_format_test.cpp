#include <gtest/gtest.h>

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
