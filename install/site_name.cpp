#include "install/site_name.h"

namespace {

constexpr wchar_t kForbiddenCharacters[] = L"<>:\"/\\|?*";

bool IsForbiddenCharacter(wchar_t c) {
    if (c < 0x20 || c == 0x7F) return true;
    for (const wchar_t* f = kForbiddenCharacters; *f != L'\0'; ++f) {
        if (c == *f) return true;
    }
    return false;
}

wchar_t AsciiUpper(wchar_t c) { return (c >= L'a' && c <= L'z') ? c - L'a' + L'A' : c; }

bool EqualsIgnoringAsciiCase(const std::wstring& text, const wchar_t* word) {
    size_t i = 0;
    for (; i < text.size() && word[i] != L'\0'; ++i) {
        if (AsciiUpper(text[i]) != word[i]) return false;
    }
    return i == text.size() && word[i] == L'\0';
}

// Windows' superscript digits count as port numbers in device names too.
bool IsDevicePortDigit(wchar_t c) {
    return (c >= L'1' && c <= L'9') || c == 0x00B9 || c == 0x00B2 || c == 0x00B3;
}

// Windows matches device names on the part before the first dot, with trailing spaces cut.
bool IsReservedDeviceName(const std::wstring& name) {
    std::wstring stem = name.substr(0, name.find(L'.'));
    size_t end = stem.find_last_not_of(L' ');
    stem.erase(end == std::wstring::npos ? 0 : end + 1);
    static const wchar_t* const kDevices[] = {L"CON", L"PRN", L"AUX", L"NUL"};
    for (const wchar_t* device : kDevices) {
        if (EqualsIgnoringAsciiCase(stem, device)) return true;
    }
    if (stem.size() == 4 && IsDevicePortDigit(stem[3])) {
        std::wstring port = stem.substr(0, 3);
        return EqualsIgnoringAsciiCase(port, L"COM") || EqualsIgnoringAsciiCase(port, L"LPT");
    }
    return false;
}

}  // namespace

bool IsSafeSiteName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    for (wchar_t c : name) {
        if (IsForbiddenCharacter(c)) return false;
    }
    wchar_t last = name.back();
    if (last == L'.' || last == L' ') return false;
    return !IsReservedDeviceName(name);
}
