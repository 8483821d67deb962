#include "sys/starting_user_file.h"

#include <algorithm>

#include "sys/file_in_folder.h"
#include "sys/path_text.h"
#include "sys/plain_file.h"
#include "sys/starting_user.h"

namespace {

constexpr DWORD kUserWriteAccess = FILE_WRITE_DATA | FILE_APPEND_DATA;
constexpr DWORD kShareReadWrite = FILE_SHARE_READ | FILE_SHARE_WRITE;

bool Empty(HANDLE file) {
    return SetFilePointer(file, 0, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
           SetEndOfFile(file);
}

// The existing file at path, proved plain and writable by the user; null otherwise. found
// tells whether anything stood at path at all.
ScopedKernelHandle OpenExistingForUser(const std::wstring& path, DWORD extraAccess, bool& found) {
    ScopedKernelHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES | READ_CONTROL | extraAccess,
                    kShareReadWrite, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    DWORD error = GetLastError();
    found = file || (error != ERROR_FILE_NOT_FOUND);
    if (!file || !IsPlainFileHandle(file.Get())) return nullptr;
    if (!StartingUserMayAccess(file.Get(), kUserWriteAccess | extraAccess)) return nullptr;
    return file;
}

// The folder a new file goes into, open for adding it, when the user may add files there.
// Links on the way are followed: what the user may do is decided on the folder reached.
ScopedKernelHandle OpenFolderForUser(const std::wstring& folder) {
    ScopedKernelHandle directory(CreateFileW(
        folder.c_str(), FILE_ADD_FILE | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!directory || !GetFileInformationByHandle(directory.Get(), &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return nullptr;
    if (!StartingUserMayAccess(directory.Get(), FILE_ADD_FILE)) return nullptr;
    return directory;
}

// The new file is created by this process, not by the user: whether the user could write it, or
// change its access list, is proved on it as on an existing file.
ScopedKernelHandle CreateForUser(const std::wstring& path, DWORD extraAccess) {
    // Windows takes a forward slash for a backslash; the name is split off at either.
    std::wstring native = path;
    std::replace(native.begin(), native.end(), L'/', L'\\');
    std::wstring name = NameOfPath(native);
    std::wstring folder = name.size() == native.size() ? L"." : FolderOfPath(native);
    if (folder.empty() || folder.back() == L':') folder += L'\\';
    ScopedKernelHandle directory = OpenFolderForUser(folder);
    if (!directory) return nullptr;
    return CreateNewFileIn(directory.Get(), name,
                           GENERIC_WRITE | FILE_READ_ATTRIBUTES | READ_CONTROL | extraAccess,
                           kShareReadWrite, nullptr);
}

}  // namespace

ScopedKernelHandle OpenPlainFileForWritingAsStartingUser(const std::wstring& path,
                                                         DWORD extraAccess, bool empty) {
    if (!IsPlainFilePath(path)) return nullptr;
    bool found = false;
    ScopedKernelHandle file = OpenExistingForUser(path, extraAccess, found);
    if (!file && !found) {
        file = CreateForUser(path, extraAccess);
        if (file && !StartingUserMayAccess(file.Get(), kUserWriteAccess | extraAccess))
            return nullptr;
    }
    if (!file) return nullptr;
    if (empty && !Empty(file.Get())) return nullptr;
    return file;
}
