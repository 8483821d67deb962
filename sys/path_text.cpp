#include "sys/path_text.h"

namespace {

constexpr wchar_t kForbiddenCharacters[] = L"<>:\"/\\|?*";

bool IsForbiddenCharacter(wchar_t c) {
    if (c < 0x20 || c == 0x7F) return true;
    for (const wchar_t* f = kForbiddenCharacters; *f != L'\0'; ++f) {
        if (c == *f) return true;
    }
    return false;
}

bool IsDriveLetter(wchar_t c) { return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z'); }

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

// "\\.\" and "\??\" reach devices (a physical drive, a volume) by name; "\\?\" is fine only
// before a drive path or a share. Gives the path without an accepted "\\?\" prefix.
bool StripLocalPrefix(const std::wstring& path, std::wstring& rest) {
    if (path.rfind(L"\\\\.\\", 0) == 0 || path.rfind(L"\\??\\", 0) == 0) return false;
    rest = path;
    if (path.rfind(L"\\\\?\\", 0) != 0) return true;
    rest = path.substr(4);
    if (rest.size() >= 3 && IsDriveLetter(rest[0]) && rest[1] == L':' && rest[2] == L'\\')
        return true;
    if (rest.size() >= 4 && EqualsIgnoringAsciiCase(rest.substr(0, 4), L"UNC\\")) {
        rest = L"\\" + rest.substr(3);
        return true;
    }
    return false;
}

// The shares of every server that are no folders: named pipes and mailslots.
bool IsDeviceShare(const std::wstring& path) {
    if (path.rfind(L"\\\\", 0) != 0) return false;
    size_t serverEnd = path.find(L'\\', 2);
    if (serverEnd == std::wstring::npos) return false;
    size_t shareEnd = path.find(L'\\', serverEnd + 1);
    std::wstring share =
        path.substr(serverEnd + 1,
                    shareEnd == std::wstring::npos ? std::wstring::npos : shareEnd - serverEnd - 1);
    // Windows drops trailing dots and spaces from a name.
    size_t end = share.find_last_not_of(L". ");
    share.erase(end == std::wstring::npos ? 0 : end + 1);
    return EqualsIgnoringAsciiCase(share, L"PIPE") || EqualsIgnoringAsciiCase(share, L"MAILSLOT");
}

}  // namespace

bool IsPlainFileName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    for (wchar_t c : name) {
        if (IsForbiddenCharacter(c)) return false;
    }
    wchar_t last = name.back();
    if (last == L'.' || last == L' ') return false;
    return !IsReservedDeviceName(name);
}

bool IsPlainFilePath(const std::wstring& path) {
    // Windows takes a forward slash for a backslash: "//./pipe/x" is "\\.\pipe\x".
    std::wstring native = path;
    for (wchar_t& c : native) {
        if (c == L'/') c = L'\\';
    }
    std::wstring rest;
    if (native.empty() || !StripLocalPrefix(native, rest) || IsDeviceShare(rest)) return false;
    size_t start = rest.size() >= 2 && IsDriveLetter(rest[0]) && rest[1] == L':' ? 2 : 0;
    if (rest.find(L':', start) != std::wstring::npos) return false;
    size_t slash = rest.find_last_of(L"\\/");
    return IsPlainFileName(slash == std::wstring::npos ? rest.substr(start)
                                                       : rest.substr(slash + 1));
}

std::wstring FolderOfPath(const std::wstring& path) {
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring NameOfPath(const std::wstring& path) {
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring StemOfPathOrEmpty(const std::wstring& path) {
    std::wstring name = NameOfPath(path);
    size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? std::wstring() : name.substr(0, dot);
}

std::wstring StemOfNameOrWholeName(const std::wstring& name) {
    size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

std::wstring TrimLeadingBackslashes(const std::wstring& path) {
    size_t start = path.find_first_not_of(L'\\');
    return start == std::wstring::npos ? std::wstring() : path.substr(start);
}

std::wstring TrimTrailingBackslashes(const std::wstring& path) {
    size_t end = path.find_last_not_of(L'\\');
    if (end == std::wstring::npos) return std::wstring();
    // "C:" alone names the drive's current directory, not its root: the root keeps its
    // backslash.
    if (end == 1 && path[1] == L':' && IsDriveLetter(path[0])) return path.substr(0, 3);
    return path.substr(0, end + 1);
}
