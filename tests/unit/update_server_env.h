#pragma once

#include <windows.h>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/test_files.h"

// What tools/with-update-server.sh hands a server test through the environment.
namespace update_server {

inline std::wstring Env(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    return value == nullptr ? std::wstring() : std::wstring(value);
}

inline int Port(const wchar_t* name) { return _wtoi(Env(name).c_str()); }

// The folder the server serves, as the program sees it.
inline std::wstring Root() { return Env(L"VELMORA_SERVER_ROOT_W"); }

inline std::wstring Url(const wchar_t* scheme, int port, const std::wstring& path) {
    return std::wstring(scheme) + L"://localhost:" + std::to_wstring(port) + L"/" + path;
}

// Bytes that differ from block to block, so a misplaced block shows.
inline std::vector<char> PatternBytes(size_t size, unsigned seed) {
    std::vector<char> bytes(size);
    unsigned state = seed * 2654435761u + 1;
    for (char& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<char>(state >> 16);
    }
    return bytes;
}

inline bool WriteBytes(const std::wstring& path, const std::vector<char>& bytes) {
    return WriteWholeFile(path, std::string(bytes.begin(), bytes.end()));
}

// Publishes bytes under the server's folder at a URL path such as "app/a b.exe".
inline bool Publish(const std::wstring& urlPath, const std::vector<char>& bytes) {
    std::wstring path = Root();
    size_t start = 0;
    for (size_t slash = urlPath.find(L'/'); slash != std::wstring::npos;
         start = slash + 1, slash = urlPath.find(L'/', start)) {
        path += L"\\" + urlPath.substr(start, slash - start);
        CreateDirectoryW(path.c_str(), nullptr);
    }
    return WriteBytes(path + L"\\" + urlPath.substr(start), bytes);
}

}  // namespace update_server
