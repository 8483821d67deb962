#pragma once

#include <string>

// Paths of the three files the update server publishes below its root, unescaped.
extern const wchar_t kLauncherInstallerPath[];
extern const wchar_t kServiceDescriptorPath[];
extern const wchar_t kUpdateAgentPath[];

// "https://" for the scheme flag 1, "http://" for any other value.
const wchar_t* SchemePrefix(int https);

// The reachability probe: scheme and host, with ":port" only when the port is not 80.
std::wstring ConnectionURL(const std::wstring& host, int port, int https);

// A published file: scheme, host, ":port" (80 included), "/" and the file's path.
std::wstring PublishedFileURL(const std::wstring& host, int port, int https,
                              const std::wstring& path);
