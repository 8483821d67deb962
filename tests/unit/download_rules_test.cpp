// The pure rules under the download engines.
#include <gtest/gtest.h>

#include <string>

#include "install/download.h"
#include "install/internet_session.h"

namespace {

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
