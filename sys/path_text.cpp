#include "sys/path_text.h"

std::wstring DirOfPath(const std::wstring& path) {
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

std::wstring NameOfPath(const std::wstring& path) {
    size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::wstring BaseNameOfPath(const std::wstring& path) {
    std::wstring name = NameOfPath(path);
    size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? std::wstring() : name.substr(0, dot);
}

std::wstring NameWithoutExtension(const std::wstring& name) {
    size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

std::wstring TrimLeadingBackslashes(const std::wstring& path) {
    size_t start = path.find_first_not_of(L'\\');
    return start == std::wstring::npos ? std::wstring() : path.substr(start);
}

std::wstring TrimTrailingBackslashes(const std::wstring& path) {
    size_t end = path.find_last_not_of(L'\\');
    return end == std::wstring::npos ? std::wstring() : path.substr(0, end + 1);
}
