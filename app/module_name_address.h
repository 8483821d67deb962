#pragma once

#include <string>

// The address that a program file name carries in its last three underscore-separated fields
// (scheme, host, port), e.g. "Velmora_Setup_https_files.example.com_8443". On success
// presetAddress is "host:port" and https is 1 exactly for the scheme word "https".
bool ParseModuleNameAddress(const std::wstring& moduleName, std::wstring& presetAddress,
                            int& https);
