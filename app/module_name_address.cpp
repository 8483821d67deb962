#include "app/module_name_address.h"

namespace {

// Cuts the text after the last underscore off rest; fails when there is no underscore or
// nothing after it.
bool CutLastField(std::wstring& rest, std::wstring& field) {
    size_t underscore = rest.rfind(L'_');
    if (underscore == std::wstring::npos) return false;
    field = rest.substr(underscore + 1);
    rest.erase(underscore);
    return !field.empty();
}

}  // namespace

bool ParseModuleNameAddress(const std::wstring& moduleName, std::wstring& presetAddress,
                            int& https) {
    std::wstring rest = moduleName;
    std::wstring port;
    std::wstring host;
    std::wstring scheme;
    if (!CutLastField(rest, port) || !CutLastField(rest, host) || !CutLastField(rest, scheme))
        return false;
    if (port.find_first_not_of(L"0123456789") != std::wstring::npos) return false;
    presetAddress = host + L":" + port;
    https = scheme == L"https" ? 1 : 0;
    return true;
}
