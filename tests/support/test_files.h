#pragma once

// Files and folders for tests that work on the real file system of the prefix.

#include <windows.h>
#include <filesystem>
#include <string>
#include <vector>

#include "sys/scoped_handle.h"

namespace testfiles {

inline std::wstring TempRoot() {
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
    std::wstring dir(buffer, length <= MAX_PATH ? length : 0);
    while (!dir.empty() && dir.back() == L'\\') dir.pop_back();
    return dir;
}

inline bool WriteBytes(const std::wstring& path, const std::string& bytes) {
    ScopedKernelHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

inline std::string ReadBytes(const std::wstring& path) {
    ScopedKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    if (!file) return bytes;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        bytes.append(buffer, got);
    }
    return bytes;
}

struct FindHandleTraits {
    using Handle = HANDLE;
    static Handle Null() { return INVALID_HANDLE_VALUE; }
    static bool IsValid(Handle h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
    static void Close(Handle h) { FindClose(h); }
};
using ScopedFindHandle = ScopedHandle<FindHandleTraits>;

// Removes a folder with the files directly inside it.
inline void RemoveFlatDirectory(const std::wstring& dir) {
    WIN32_FIND_DATAW found;
    ScopedFindHandle search(FindFirstFileW((dir + L"\\*").c_str(), &found));
    if (search) {
        do {
            std::wstring name = found.cFileName;
            if (name != L"." && name != L"..") DeleteFileW((dir + L"\\" + name).c_str());
        } while (FindNextFileW(search.Get(), &found));
    }
    search.Close();
    RemoveDirectoryW(dir.c_str());
}

// A fresh folder below the temporary folder, removed again with its files at the end.
class ScratchDir {
  public:
    explicit ScratchDir(const std::wstring& label) {
        m_path = TempRoot() + L"\\velmora_" + label + L"_" + std::to_wstring(GetCurrentProcessId());
        RemoveFlatDirectory(m_path);
        CreateDirectoryW(m_path.c_str(), nullptr);
    }
    ~ScratchDir() { RemoveFlatDirectory(m_path); }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }

  private:
    std::wstring m_path;
};

// Splits text into lines at LF, dropping the LFs and a CR before them.
inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t from = 0;
    while (from < text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        size_t stop = (end > from && text[end - 1] == '\r') ? end - 1 : end;
        lines.push_back(text.substr(from, stop - from));
        from = end + 1;
    }
    return lines;
}

// Removes a folder tree; a program that has just ended may keep its file mapped for a moment
// under Wine, so the removal is tried again for up to five seconds.
inline bool RemoveTreeOnceFree(const std::wstring& path) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
        if (GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
        Sleep(50);
    }
    return false;
}

}  // namespace testfiles
