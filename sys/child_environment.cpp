#include "sys/child_environment.h"

#include <windows.h>
#include <algorithm>

namespace {

// The name of an entry; the hidden per-drive entries ("=C:=C:\x") keep their leading "=".
std::wstring NameOf(const std::wstring& entry) {
    size_t equals = entry.find(L'=', 1);
    return equals == std::wstring::npos ? entry : entry.substr(0, equals);
}

bool IsTempName(const std::wstring& name) {
    return _wcsicmp(name.c_str(), L"TEMP") == 0 || _wcsicmp(name.c_str(), L"TMP") == 0;
}

}  // namespace

std::wstring EnvironmentBlockWithTemp(const std::vector<std::wstring>& entries,
                                      const std::wstring& tempFolder) {
    std::vector<std::wstring> kept;
    for (const std::wstring& entry : entries) {
        if (!entry.empty() && !IsTempName(NameOf(entry))) kept.push_back(entry);
    }
    kept.push_back(L"TEMP=" + tempFolder);
    kept.push_back(L"TMP=" + tempFolder);
    std::stable_sort(kept.begin(), kept.end(), [](const std::wstring& a, const std::wstring& b) {
        return _wcsicmp(NameOf(a).c_str(), NameOf(b).c_str()) < 0;
    });
    std::wstring block;
    for (const std::wstring& entry : kept) {
        block += entry;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

std::vector<std::wstring> OwnEnvironmentEntries() {
    std::vector<std::wstring> entries;
    wchar_t* strings = GetEnvironmentStringsW();
    if (strings == nullptr) return entries;
    for (const wchar_t* at = strings; *at != L'\0'; at += wcslen(at) + 1) entries.push_back(at);
    FreeEnvironmentStringsW(strings);
    return entries;
}
