// The Content-Length rules of the two download engines.
#include <gtest/gtest.h>

#include <string>

#include "install/content_length.h"

namespace {

TEST(ContentLength, ReadsLikeASignedDecimalNumber) {
    struct Case {
        const wchar_t* text;
        int size;
    } cases[] = {
        {L"200000", 200000},
        {L"0", 0},
        {L"  \t42", 42},
        {L"+17", 17},
        {L"-5", -5},
        {L"12abc", 12},
        {L"abc", 0},
        {L"", 0},
        {L"2147483647", 2147483647},
        {L"2147483648", 2147483647},
        {L"3000000000", 2147483647},
        {L"99999999999999999999999", 2147483647},
        {L"-2147483648", -2147483647 - 1},
        {L"-3000000000", -2147483647 - 1},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseContentLength(c.text), c.size) << c.text;
}

TEST(ContentLength, AnnouncedLengthNeedsDigits) {
    struct Case {
        const wchar_t* text;
        bool known;
        unsigned long long length;
    } cases[] = {
        {L"200000", true, 200000}, {L" 0", true, 0},  {L"5000000000", true, 5000000000ull},
        {L"", false, 0},           {L"-1", false, 0}, {L"none", false, 0},
    };
    for (const Case& c : cases) {
        unsigned long long length = 0;
        EXPECT_EQ(ParseAnnouncedLength(c.text, length), c.known) << c.text;
        if (c.known) {
            EXPECT_EQ(length, c.length) << c.text;
        }
    }
}

}  // namespace
