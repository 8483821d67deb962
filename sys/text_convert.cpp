#include "sys/text_convert.h"

#include <climits>

// The system calls count in int: a longer text (which a 32-bit process can hardly hold) is
// refused rather than cut.

std::string WideToCodePage(UINT codePage, const wchar_t* text, size_t units) {
    if (units == 0 || units > static_cast<size_t>(INT_MAX)) return std::string();
    int length = static_cast<int>(units);
    int size = WideCharToMultiByte(codePage, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return std::string();
    std::string narrow(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(codePage, 0, text, length, &narrow[0], size, nullptr, nullptr);
    return narrow;
}

std::string WideToCodePage(UINT codePage, const std::wstring& text) {
    return WideToCodePage(codePage, text.data(), text.size());
}

std::wstring CodePageToWide(UINT codePage, const char* text, size_t size) {
    if (size == 0 || size > static_cast<size_t>(INT_MAX)) return std::wstring();
    int length = static_cast<int>(size);
    int units = MultiByteToWideChar(codePage, 0, text, length, nullptr, 0);
    if (units <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(units), L'\0');
    MultiByteToWideChar(codePage, 0, text, length, &wide[0], units);
    return wide;
}

std::wstring CodePageToWide(UINT codePage, const std::string& text) {
    return CodePageToWide(codePage, text.data(), text.size());
}
