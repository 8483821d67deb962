#include "sys/file_in_folder.h"

#include <winternl.h>

#include "sys/scoped_handle.h"
#include "sys/system_function.h"

namespace {

// The native open: the only call that names a file relative to an open folder.
using NtCreateFileCall = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES,
                                          PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG, ULONG, ULONG,
                                          ULONG, PVOID, ULONG);
using StatusToErrorCall = ULONG(NTAPI*)(NTSTATUS);

constexpr ULONG kOpen = 1;
constexpr ULONG kCreate = 2;
constexpr ULONG kOpenIf = 3;
constexpr ULONG kDirectoryFile = 0x1;
constexpr ULONG kSynchronousIo = 0x20;
constexpr ULONG kNonDirectoryFile = 0x40;
constexpr ULONG kOpenReparsePoint = 0x200000;
constexpr ULONG kCaseInsensitive = 0x40;

const SystemFunction<NtCreateFileCall> g_ntCreateFile(SystemDll::NtDll, "NtCreateFile");
const SystemFunction<StatusToErrorCall> g_statusToError(SystemDll::NtDll, "RtlNtStatusToDosError");

bool IsBareName(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    return name.find_first_of(L"\\/:") == std::wstring::npos;
}

ScopedKernelHandle OpenIn(HANDLE folder, const std::wstring& name, DWORD access, DWORD share,
                          ULONG disposition, ULONG options, SECURITY_ATTRIBUTES* security) {
    NtCreateFileCall create = g_ntCreateFile.Get();
    StatusToErrorCall toError = g_statusToError.Get();
    if (create == nullptr || toError == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    if (!IsBareName(name) || name.size() * sizeof(wchar_t) > 0xFFFE) {
        SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(name.c_str());
    text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES attributes = {};
    attributes.Length = sizeof(attributes);
    attributes.RootDirectory = folder;
    attributes.ObjectName = &text;
    attributes.Attributes = kCaseInsensitive;
    attributes.SecurityDescriptor = security != nullptr ? security->lpSecurityDescriptor : nullptr;
    IO_STATUS_BLOCK status = {};
    HANDLE opened = nullptr;
    NTSTATUS result =
        create(&opened, access | SYNCHRONIZE, &attributes, &status, nullptr, FILE_ATTRIBUTE_NORMAL,
               share, disposition, options | kSynchronousIo | kOpenReparsePoint, nullptr, 0);
    if (result < 0) {
        SetLastError(toError(result));
        return nullptr;
    }
    return ScopedKernelHandle(opened);
}

}  // namespace

bool DeleteWhenClosed(HANDLE entry) {
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(entry, FileDispositionInfo, &disposition,
                                      sizeof(disposition)) != FALSE;
}

// Removing an entry deletes a link or a second name, never what it leads to.
bool RemoveFileIn(HANDLE folder, const std::wstring& name) {
    ScopedKernelHandle entry =
        OpenIn(folder, name, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, kOpen,
               kNonDirectoryFile, nullptr);
    if (!entry) return GetLastError() == ERROR_FILE_NOT_FOUND;
    return DeleteWhenClosed(entry.Get());
}

ScopedKernelHandle OpenOrCreateFolderIn(HANDLE folder, const std::wstring& name, DWORD access,
                                        DWORD share, SECURITY_ATTRIBUTES* security) {
    return OpenIn(folder, name, access, share, kOpenIf, kDirectoryFile, security);
}

ScopedKernelHandle CreateNewFileIn(HANDLE folder, const std::wstring& name, DWORD access,
                                   DWORD share, SECURITY_ATTRIBUTES* security) {
    return OpenIn(folder, name, access, share, kCreate, kNonDirectoryFile, security);
}

ScopedKernelHandle CreateFreshFileIn(HANDLE folder, const std::wstring& name, DWORD access,
                                     DWORD share, SECURITY_ATTRIBUTES* security) {
    if (!RemoveFileIn(folder, name)) return nullptr;
    return CreateNewFileIn(folder, name, access, share, security);
}

ScopedKernelHandle CreateNewFolderIn(HANDLE folder, const std::wstring& name, DWORD access,
                                     DWORD share, SECURITY_ATTRIBUTES* security) {
    return OpenIn(folder, name, access, share, kCreate, kDirectoryFile, security);
}

ScopedKernelHandle OpenFileIn(HANDLE folder, const std::wstring& name, DWORD access, DWORD share) {
    return OpenIn(folder, name, access, share, kOpen, kNonDirectoryFile, nullptr);
}

ScopedKernelHandle OpenFolderIn(HANDLE folder, const std::wstring& name, DWORD access,
                                DWORD share) {
    return OpenIn(folder, name, access, share, kOpen, kDirectoryFile, nullptr);
}

ScopedKernelHandle OpenEntryIn(HANDLE folder, const std::wstring& name, DWORD access, DWORD share) {
    return OpenIn(folder, name, access, share, kOpen, 0, nullptr);
}

std::vector<FolderEntry> ListEntriesIn(HANDLE folder) {
    constexpr DWORD kListBuffer = 64 * 1024;
    std::vector<FolderEntry> entries;
    std::vector<BYTE> buffer(kListBuffer);
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(folder, kind, buffer.data(), kListBuffer)) {
        kind = FileIdBothDirectoryInfo;
        for (BYTE* at = buffer.data();;) {
            auto* entry = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(at);
            std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            bool isFolder = (entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                            !(entry->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
            if (name != L"." && name != L"..") entries.push_back({name, isFolder});
            if (entry->NextEntryOffset == 0) break;
            at += entry->NextEntryOffset;
        }
    }
    return entries;
}
