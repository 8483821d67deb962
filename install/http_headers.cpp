#include "install/http_headers.h"

#include <climits>
#include <cwchar>
#include <cwctype>
#include <vector>

#include "sys/lazy_api.h"

bool QueryHeaderText(HINTERNET request, DWORD query, std::wstring& text) {
    DWORD size = 0;
    if (!LazyApi::HttpQueryInfoW(request, query, nullptr, &size, nullptr) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return false;
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1, L'\0');
    if (!LazyApi::HttpQueryInfoW(request, query, buffer.data(), &size, nullptr)) return false;
    text.assign(buffer.data());
    return true;
}

int ParseContentLength(const std::wstring& text) {
    long long value = wcstoll(text.c_str(), nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

bool ParseAnnouncedLength(const std::wstring& text, unsigned long long& length) {
    const wchar_t* digits = text.c_str();
    while (iswspace(*digits)) ++digits;
    if (!iswdigit(*digits)) return false;
    length = wcstoull(digits, nullptr, 10);
    return true;
}
