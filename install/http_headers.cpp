#include "install/http_headers.h"

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
