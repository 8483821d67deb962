#include "install/download_check.h"

#include <windows.h>

#include "sys/plain_file.h"
#include "sys/scoped_handle.h"

namespace {

unsigned long long FileSizeOnDisk(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return 0;
    return (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace

bool IsWindowsProgramFile(const std::wstring& path) {
    ScopedKernelHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    return IsWindowsProgramHandle(file.Get());
}

bool IsWindowsProgramHandle(HANDLE file) {
    if (SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) return false;
    char signature[2] = {};
    DWORD got = 0;
    if (!ReadFile(file, signature, sizeof(signature), &got, nullptr)) return false;
    return got == sizeof(signature) && signature[0] == 'M' && signature[1] == 'Z';
}

HANDLE HoldDownloadedFile(const std::wstring& path) { return HoldPlainFile(path); }

bool IsShortDownload(const std::wstring& path, int announcedSize) {
    if (announcedSize < 0) return false;
    return FileSizeOnDisk(path) < static_cast<unsigned long long>(announcedSize);
}
