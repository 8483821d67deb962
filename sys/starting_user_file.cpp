#include "sys/starting_user_file.h"

#include <winternl.h>
#include <algorithm>

#include "sys/path_text.h"
#include "sys/plain_file.h"
#include "sys/scoped_handle.h"
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
HANDLE OpenExistingForUser(const std::wstring& path, DWORD extraAccess, bool& found) {
    ScopedKernelHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES | READ_CONTROL | extraAccess,
                    kShareReadWrite, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    DWORD error = GetLastError();
    found = file || (error != ERROR_FILE_NOT_FOUND);
    if (!file || !IsPlainFileHandle(file.Get())) return nullptr;
    if (!StartingUserMayAccess(file.Get(), kUserWriteAccess | extraAccess)) return nullptr;
    return file.Take();
}

// The folder a new file goes into, open for adding it, when the user may add files there.
// Links on the way are followed: what the user may do is decided on the folder reached.
HANDLE OpenFolderForUser(const std::wstring& folder) {
    ScopedKernelHandle directory(CreateFileW(
        folder.c_str(), FILE_ADD_FILE | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!directory || !GetFileInformationByHandle(directory.Get(), &info) ||
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return nullptr;
    if (!StartingUserMayAccess(directory.Get(), FILE_ADD_FILE)) return nullptr;
    return directory.Take();
}

using NtCreateFileFn = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                        PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);

// A new file named name inside the open folder, never one that already stands there.
HANDLE CreateInFolder(HANDLE folder, const std::wstring& name, DWORD access) {
    static const auto ntCreateFile = reinterpret_cast<NtCreateFileFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtCreateFile")));
    if (ntCreateFile == nullptr) return nullptr;
    UNICODE_STRING objectName;
    objectName.Buffer = const_cast<PWSTR>(name.c_str());
    objectName.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    objectName.MaximumLength = objectName.Length;
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &objectName, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK status = {};
    HANDLE file = nullptr;
    NTSTATUS result = ntCreateFile(
        &file, access | SYNCHRONIZE, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL,
        kShareReadWrite, FILE_CREATE,
        FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr,
        0);
    return result >= 0 ? file : nullptr;
}

// The user who may add a file to a folder owns the file they add there, and may change its
// access list: the new file needs no further proof.
HANDLE CreateForUser(const std::wstring& path, DWORD extraAccess) {
    // Windows takes a forward slash for a backslash; the name is split off at either.
    std::wstring native = path;
    std::replace(native.begin(), native.end(), L'/', L'\\');
    std::wstring name = NameOfPath(native);
    std::wstring folder = name.size() == native.size() ? L"." : DirOfPath(native);
    if (folder.empty() || folder.back() == L':') folder += L'\\';
    ScopedKernelHandle directory(OpenFolderForUser(folder));
    if (!directory) return nullptr;
    return CreateInFolder(directory.Get(), name,
                          GENERIC_WRITE | FILE_READ_ATTRIBUTES | READ_CONTROL | extraAccess);
}

}  // namespace

HANDLE OpenPlainFileForWritingAsStartingUser(const std::wstring& path, DWORD extraAccess,
                                             bool empty) {
    if (!IsPlainFilePath(path)) return nullptr;
    bool found = false;
    ScopedKernelHandle file(OpenExistingForUser(path, extraAccess, found));
    if (!file && !found) file.Reset(CreateForUser(path, extraAccess));
    if (!file) return nullptr;
    if (empty && !Empty(file.Get())) return nullptr;
    return file.Take();
}
