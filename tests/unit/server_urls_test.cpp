#include <gtest/gtest.h>

#include "install/server_urls.h"

TEST(ConnectionURL, PortOnlyWhenNot80) {
    struct Case {
        ServiceAddress service;
        const wchar_t* url;
    };
    const Case cases[] = {
        {{L"files.example.com", 80, false}, L"http://files.example.com"},
        {{L"files.example.com", 80, true}, L"https://files.example.com"},
        {{L"files.example.com", 443, true}, L"https://files.example.com:443"},
        {{L"files.example.com", 8443, false}, L"http://files.example.com:8443"},
        {{L"files.example.com", 0, false}, L"http://files.example.com:0"},
        {{L"https://files.example.com", 80, false}, L"http://https://files.example.com"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ConnectionURL(c.service), c.url) << "case " << (&c - cases);
    }
}

TEST(PublishedFileURL, AlwaysWithPort) {
    struct Case {
        int port;
        bool https;
        const wchar_t* path;
        const wchar_t* url;
    };
    const Case cases[] = {
        {80, false, kLauncherInstallerPath,
         L"http://files.example.com:80/app/Velmora ActiveX 7i_jp.exe"},
        {443, true, kServiceDescriptorPath,
         L"https://files.example.com:443/app/update/velmora_server.exe"},
        {80, true, kUpdateAgentPath, L"https://files.example.com:80/app/update/QLUpdate.exe"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PublishedFileURL({L"files.example.com", c.port, c.https}, c.path), c.url)
            << "case " << (&c - cases);
    }
}
