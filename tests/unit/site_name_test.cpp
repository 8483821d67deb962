#include <gtest/gtest.h>

#include <string>

#include "sys/path_text.h"

namespace {

struct SiteNameCase {
    const wchar_t* label;
    std::wstring name;
    bool safe;
};

TEST(SiteName, OnlyPlainSingleFileNamesAreSafe) {
    const SiteNameCase cases[] = {
        {L"plain", L"Sales", true},
        {L"inner spaces and dots", L"Sales Team v2.1", true},
        {L"leading space", L" Sales", true},
        {L"korean", L"\xC601\xC5C5\xBD80", true},
        {L"japanese", L"\x55B6\x696D\x90E8", true},
        {L"device name inside a word", L"CONSOLE", true},
        {L"port number beyond nine", L"COM10", true},
        {L"port without number", L"LPT", true},
        {L"empty", L"", false},
        {L"dot", L".", false},
        {L"dot dot", L"..", false},
        {L"backslash", L"Sales\\..\\..\\Windows", false},
        {L"slash", L"Sales/East", false},
        {L"drive colon", L"C:", false},
        {L"stream colon", L"Sales:data", false},
        {L"less than", L"Sales<", false},
        {L"greater than", L"Sales>", false},
        {L"quote", L"Sa\"les", false},
        {L"pipe", L"Sa|les", false},
        {L"question mark", L"Sales?", false},
        {L"asterisk", L"Sa*", false},
        {L"tab", L"Sa\tles", false},
        {L"line feed", L"Sales\n", false},
        {L"escape", L"\x1BSales", false},
        {L"unit separator", L"Sa\x1Fles", false},
        {L"delete", L"Sa\x7Fles", false},
        {L"zero", std::wstring(L"Sa\0les", 6), false},
        {L"trailing dot", L"Sales.", false},
        {L"trailing space", L"Sales ", false},
        {L"only dots", L"...", false},
        {L"only spaces", L"   ", false},
        {L"CON", L"CON", false},
        {L"con lower case", L"con", false},
        {L"PRN", L"PRN", false},
        {L"AUX", L"Aux", false},
        {L"NUL with extension", L"NUL.txt", false},
        {L"device before spaces and extension", L"con .log", false},
        {L"COM1", L"COM1", false},
        {L"COM9", L"com9", false},
        {L"LPT1 with extension", L"LPT1.dat", false},
        {L"LPT9", L"LPT9", false},
        {L"COM superscript one", L"COM\x00B9", false},
        {L"LPT superscript three", L"LPT\x00B3", false},
    };
    for (const SiteNameCase& c : cases) {
        EXPECT_EQ(IsPlainFileName(c.name), c.safe) << testing::PrintToString(std::wstring(c.label));
    }
}

}  // namespace
