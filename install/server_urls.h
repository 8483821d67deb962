#pragma once

#include <string>

#include "install/service_address.h"

// Paths of the three files the update server publishes below its root, unescaped.
extern const wchar_t kLauncherInstallerPath[];
extern const wchar_t kServiceDescriptorPath[];
extern const wchar_t kUpdateAgentPath[];

// "https://" or "http://".
const wchar_t* SchemePrefix(bool https);

// The reachability probe: scheme and host, with ":port" only when the port is not 80.
std::wstring ConnectionURL(const ServiceAddress& service);

// A published file: scheme, host, ":port" (80 included), "/" and the file's path.
std::wstring PublishedFileURL(const ServiceAddress& service, const std::wstring& path);
