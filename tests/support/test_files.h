#pragma once

// Files and folders for tests that work on the real file system of the prefix: one temporary
// folder, one whole-file reader and writer, one existence check, one check that a file is let
// go.

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

inline bool Exists(const std::wstring& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Whether the file exists and nobody holds it open any more: it opens with no sharing at all.
inline bool OpensUnshared(const std::wstring& path) {
    ScopedKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    return file.IsValid();
}

// The whole file, read while others may still write it (a log in append mode); empty when it
// cannot be opened.
inline std::string ReadWholeFile(const std::wstring& path) {
    ScopedKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string bytes;
    if (!file) return bytes;
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(file.Get(), buffer, sizeof(buffer), &got, nullptr) && got > 0)
        bytes.append(buffer, got);
    return bytes;
}

inline bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
    ScopedKernelHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return bytes.empty() || (WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()),
                                       &written, nullptr) &&
                             written == bytes.size());
}

// A fresh folder under the temporary directory, removed with everything in it at the end.
class TempFolder {
  public:
    explicit TempFolder(const std::wstring& prefix = L"velmora") {
        static int counter = 0;
        m_path = testfiles::TempRoot() + L"\\" + prefix + L"_" +
                 std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
        std::filesystem::create_directories(m_path);
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::wstring& Path() const { return m_path; }
    std::wstring File(const std::wstring& name) const { return m_path + L"\\" + name; }

  private:
    std::wstring m_path;
};
