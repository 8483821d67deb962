#include <gtest/gtest.h>

#include "install/server_urls.h"

TEST(ConnectionURL, PortOnlyWhenNot80) {
    struct Case {
        const wchar_t* host;
        int port;
        int https;
        const wchar_t* url;
    };
    const Case cases[] = {
        {L"files.example.com", 80, 0, L"http://files.example.com"},
        {L"files.example.com", 80, 1, L"https://files.example.com"},
        {L"files.example.com", 443, 1, L"https://files.example.com:443"},
        {L"files.example.com", 8443, 0, L"http://files.example.com:8443"},
        {L"files.example.com", 0, 0, L"http://files.example.com:0"},
        {L"files.example.com", 8080, 2, L"http://files.example.com:8080"},
        {L"https://files.example.com", 80, 0, L"http://https://files.example.com"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ConnectionURL(c.host, c.port, c.https), c.url) << "case " << (&c - cases);
    }
}

TEST(PublishedFileURL, AlwaysWithPort) {
    struct Case {
        int port;
        int https;
        const wchar_t* path;
        const wchar_t* url;
    };
    const Case cases[] = {
        {80, 0, kLauncherInstallerPath,
         L"http://files.example.com:80/app/Velmora ActiveX 7i_jp.exe"},
        {443, 1, kServiceDescriptorPath,
         L"https://files.example.com:443/app/update/velmora_server.exe"},
        {80, 1, kUpdateAgentPath, L"https://files.example.com:80/app/update/QLUpdate.exe"},
        {8080, -1, kUpdateAgentPath, L"http://files.example.com:8080/app/update/QLUpdate.exe"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PublishedFileURL(L"files.example.com", c.port, c.https, c.path), c.url)
            << "case " << (&c - cases);
    }
}
