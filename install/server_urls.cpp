#include "install/server_urls.h"

const wchar_t kLauncherInstallerPath[] = L"app/Velmora ActiveX 7i_jp.exe";
const wchar_t kServiceDescriptorPath[] = L"app/update/velmora_server.exe";
const wchar_t kUpdateAgentPath[] = L"app/update/QLUpdate.exe";

const wchar_t* SchemePrefix(int https) { return https == 1 ? L"https://" : L"http://"; }

std::wstring ConnectionURL(const std::wstring& host, int port, int https) {
    std::wstring url = SchemePrefix(https) + host;
    if (port != 80) url += L":" + std::to_wstring(port);
    return url;
}

std::wstring PublishedFileURL(const std::wstring& host, int port, int https,
                              const std::wstring& path) {
    return SchemePrefix(https) + host + L":" + std::to_wstring(port) + L"/" + path;
}
