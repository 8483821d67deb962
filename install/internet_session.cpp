#include "install/internet_session.h"

#include <cwchar>

#include "sys/lazy_api.h"
#include "sys/module_info.h"
#include "sys/path_text.h"

HINTERNET OpenInternetSession() {
    std::wstring agent = NameWithoutExtension(GetModuleName());
    return LazyApi::InternetOpenW(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
}

bool OpensNoHttpRequest(const wchar_t* url) {
    static const wchar_t* const kOtherSchemes[] = {L"ftp:", L"gopher:", L"file:"};
    for (const wchar_t* scheme : kOtherSchemes) {
        if (_wcsnicmp(url, scheme, wcslen(scheme)) == 0) return true;
    }
    return false;
}

HRESULT FailureFromCode(DWORD code) { return static_cast<HRESULT>(0x80000000u | (code & 0xFFFFu)); }
