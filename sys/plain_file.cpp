#include "sys/plain_file.h"

#include "sys/file_in_folder.h"

namespace {

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

ScopedKernelHandle HoldPlainFile(const std::wstring& path) {
    ScopedKernelHandle file(
        CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file || !IsPlainFileHandle(file.Get())) return nullptr;
    return file;
}

ScopedKernelHandle HoldPlainFileIn(HANDLE folder, const std::wstring& name) {
    ScopedKernelHandle file = OpenFileIn(folder, name, GENERIC_READ, FILE_SHARE_READ);
    if (!file || !IsPlainFileHandle(file.Get())) return nullptr;
    return file;
}

bool ReadFinalPath(HANDLE object, std::wstring& path) {
    wchar_t buffer[MAX_PATH + 8] = {};
    const DWORD units = MAX_PATH + 8;
    DWORD length = GetFinalPathNameByHandleW(object, buffer, units, FILE_NAME_NORMALIZED);
    if (length == 0 || length >= units) return false;
    std::wstring found(buffer, length);
    // The system's own spelling of a drive or share path, which every call takes as it stands.
    if (found.rfind(L"\\\\?\\UNC\\", 0) == 0)
        found = L"\\" + found.substr(7);
    else if (found.rfind(L"\\\\?\\", 0) == 0)
        found = found.substr(4);
    if (found.empty() || found.size() >= MAX_PATH) return false;
    path = found;
    return true;
}

bool IsReparsePoint(const std::wstring& path) {
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

ScopedKernelHandle HoldPlainFolder(const std::wstring& path, DWORD extraAccess) {
    ScopedKernelHandle directory(CreateFileW(
        path.c_str(), kFolderHoldAccess | extraAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!directory || !IsPlainFolderHandle(directory.Get())) return nullptr;
    return directory;
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
    return named && GetFileInformationByHandle(named.Get(), &a) &&
           GetFileInformationByHandle(object, &b) && IsSameFile(a, b);
}

bool IsSameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}
