#include "install/server_urls.h"

const wchar_t kLauncherInstallerPath[] = L"app/Velmora ActiveX 7i_jp.exe";
const wchar_t kServiceDescriptorPath[] = L"app/update/velmora_server.exe";
const wchar_t kUpdateAgentPath[] = L"app/update/QLUpdate.exe";

const wchar_t* SchemePrefix(bool https) { return https ? L"https://" : L"http://"; }

std::wstring ConnectionURL(const ServiceAddress& service) {
    std::wstring url = SchemePrefix(service.https) + service.host;
    if (service.port != 80) url += L":" + std::to_wstring(service.port);
    return url;
}

std::wstring PublishedFileURL(const ServiceAddress& service, const std::wstring& path) {
    return SchemePrefix(service.https) + service.host + L":" + std::to_wstring(service.port) +
           L"/" + path;
}
