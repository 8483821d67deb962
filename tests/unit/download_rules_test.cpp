// The pure rules under the download engines.
#include <gtest/gtest.h>

#include <string>

#include "install/http_headers.h"
#include "install/https_download.h"
#include "install/internet_session.h"

namespace {

TEST(DownloadRules, ContentLengthReadsLikeASignedDecimalNumber) {
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

TEST(DownloadRules, AnnouncedLengthNeedsDigits) {
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

TEST(DownloadRules, AgentIsTheProgramNameWithoutItsExtension) {
    EXPECT_EQ(AgentNameOfProgram(L"Velmora_Setup.exe"), L"Velmora_Setup");
    EXPECT_EQ(AgentNameOfProgram(L"Velmora_Setup_https_files.example.com_443.exe"),
              L"Velmora_Setup_https_files.example.com_443");
    EXPECT_EQ(AgentNameOfProgram(L"setup"), L"setup");
}

TEST(DownloadRules, OnlyOtherKnownSchemesOpenNoHttpRequest) {
    struct Case {
        const wchar_t* url;
        bool noRequest;
    } cases[] = {
        {L"http://host/app/x.exe", false}, {L"HTTPS://host/app/x.exe", false},
        {L"ftp://host/app/x.exe", true},   {L"FTP://host/x", true},
        {L"file:///C:/x.exe", true},       {L"gopher://host/x", true},
        {L"mailto:someone@host", false},   {L"host/app/x.exe", false},
    };
    for (const Case& c : cases) EXPECT_EQ(OpensNoHttpRequest(c.url), c.noRequest) << c.url;
}

TEST(DownloadRules, FailuresKeepTheLowSixteenBitsOfTheCode) {
    EXPECT_EQ(FailureFromCode(12007), static_cast<HRESULT>(0x80002EE7));
    EXPECT_EQ(FailureFromCode(ERROR_SHARING_VIOLATION), static_cast<HRESULT>(0x80000020));
    EXPECT_EQ(FailureFromCode(404), static_cast<HRESULT>(0x80000194));
    EXPECT_EQ(FailureFromCode(0x12345678), static_cast<HRESULT>(0x80005678));
    EXPECT_EQ(FailureFromCode(0), static_cast<HRESULT>(0x80000000));
    EXPECT_EQ(kDownloadIncomplete, static_cast<HRESULT>(0x80000026));
    EXPECT_EQ(kDownloadNoRequest, static_cast<HRESULT>(0x80000961));
}

}  // namespace
