#include "install/content_length.h"

#include <climits>
#include <cwchar>
#include <cwctype>

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
