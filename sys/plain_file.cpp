#include "sys/plain_file.h"

#include <cwchar>
#include <cwctype>

#include "sys/scoped_handle.h"

namespace {

// "\\.\" and "\??\" reach devices (a physical drive, a volume) by name; "\\?\" is fine only
// before a drive path or a share.
bool NamesDeviceSpace(const std::wstring& path) {
    if (path.rfind(L"\\\\.\\", 0) == 0 || path.rfind(L"\\??\\", 0) == 0) return true;
    if (path.rfind(L"\\\\?\\", 0) != 0) return false;
    std::wstring rest = path.substr(4);
    bool drivePath = rest.size() >= 3 && iswalpha(rest[0]) && rest[1] == L':' && rest[2] == L'\\';
    bool share = _wcsnicmp(rest.c_str(), L"UNC\\", 4) == 0;
    return !drivePath && !share;
}

// The attributes and the link count come from the file system's own records of the file. The
// query that returns them together also asks for the volume's serial number, which Wine looks up
// anew on every call, slowly enough to hold a log that opens its file for every line.
bool ReadAttributes(HANDLE handle, DWORD& attributes) {
    if (GetFileType(handle) != FILE_TYPE_DISK) return false;
    FILE_ATTRIBUTE_TAG_INFO info;
    if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &info, sizeof(info)))
        return false;
    attributes = info.FileAttributes;
    return true;
}

}  // namespace

bool IsPlainFileHandle(HANDLE file) {
    DWORD attributes = 0;
    FILE_STANDARD_INFO standard;
    if (!ReadAttributes(file, attributes) ||
        !GetFileInformationByHandleEx(file, FileStandardInfo, &standard, sizeof(standard)))
        return false;
    const DWORD notPlain =
        FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
    return (attributes & notPlain) == 0 && !standard.Directory && standard.NumberOfLinks == 1;
}

HANDLE OpenPlainFileForWriting(const std::wstring& path, DWORD extraAccess, bool empty) {
    if (path.empty() || NamesDeviceSpace(path)) return nullptr;
    // Opened without truncation: an object that turns out not to be a plain file is left as
    // it was.
    ScopedKernelHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES | extraAccess,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file || !IsPlainFileHandle(file.Get())) return nullptr;
    if (empty && (SetFilePointer(file.Get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
                  !SetEndOfFile(file.Get())))
        return nullptr;
    return file.Take();
}

HANDLE HoldPlainFile(const std::wstring& path) {
    ScopedKernelHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file || !IsPlainFileHandle(file.Get())) return nullptr;
    return file.Take();
}

bool IsReparsePoint(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

HANDLE HoldPlainDirectory(const std::wstring& path, DWORD extraAccess) {
    ScopedKernelHandle directory(CreateFileW(
        path.c_str(), kFolderHoldAccess | extraAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!directory || !IsPlainFolderHandle(directory.Get())) return nullptr;
    return directory.Take();
}

bool IsPlainFolderHandle(HANDLE folder) {
    DWORD attributes = 0;
    if (!ReadAttributes(folder, attributes)) return false;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool PathLeadsTo(const std::wstring& path, HANDLE object) {
    ScopedKernelHandle named(
        CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    BY_HANDLE_FILE_INFORMATION a;
    BY_HANDLE_FILE_INFORMATION b;
    if (!named || !GetFileInformationByHandle(named.Get(), &a) ||
        !GetFileInformationByHandle(object, &b))
        return false;
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}
