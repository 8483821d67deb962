#include "sys/private_folder.h"

#include <vector>

#include "sys/admin_only_security.h"
#include "sys/file_in_folder.h"
#include "sys/plain_file.h"

namespace {

constexpr int kNameTries = 16;
constexpr DWORD kListBuffer = 64 * 1024;
constexpr int kEmptyRounds = 100;
constexpr DWORD kEmptyPauseMs = 50;

std::wstring FolderName(const wchar_t* prefix, int attempt) {
    return std::wstring(prefix) + L"-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(attempt);
}

// The names in the held folder, listed through its handle, never through its path.
std::vector<std::wstring> NamesIn(HANDLE folder) {
    std::vector<std::wstring> names;
    std::vector<BYTE> buffer(kListBuffer);
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    while (GetFileInformationByHandleEx(folder, kind, buffer.data(), kListBuffer)) {
        kind = FileIdBothDirectoryInfo;
        for (BYTE* at = buffer.data();;) {
            auto* entry = reinterpret_cast<FILE_ID_BOTH_DIR_INFO*>(at);
            std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") names.push_back(name);
            if (entry->NextEntryOffset == 0) break;
            at += entry->NextEntryOffset;
        }
    }
    return names;
}

// A removed file stays listed until the last handle to it is closed, and a program that has
// just ended may still hold its image for a moment; the folder can only go once it is empty.
void EmptyFolder(HANDLE folder) {
    for (int round = 0; round < kEmptyRounds; ++round) {
        std::vector<std::wstring> names = NamesIn(folder);
        if (names.empty()) return;
        for (const std::wstring& name : names) RemoveFileIn(folder, name);
        if (NamesIn(folder).empty()) return;
        Sleep(kEmptyPauseMs);
    }
}

// False while the folder still stands at path and may be removed on a later try; true once it
// is gone, or when what stands there is not that folder (which is then left alone).
bool RemoveFolderIfSame(const std::wstring& path, const BY_HANDLE_FILE_INFORMATION& identity) {
    ScopedKernelHandle folder(
        CreateFileW(path.c_str(), DELETE | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!folder) return GetLastError() != ERROR_SHARING_VIOLATION;
    BY_HANDLE_FILE_INFORMATION found;
    if (!GetFileInformationByHandle(folder.Get(), &found) || !IsSameFile(found, identity))
        return true;
    DeleteWhenClosed(folder.Get());
    folder.Close();
    return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

}  // namespace

PrivateFolder::~PrivateFolder() { Remove(); }

bool PrivateFolder::Create(const std::wstring& parent, const wchar_t* prefix) {
    AdminOnlySecurity security;
    if (parent.empty() || security.Attributes() == nullptr) return false;
    // The parent is the user's to place where they like; only what is made inside it counts.
    ScopedKernelHandle parentFolder(CreateFileW(
        parent.c_str(), FILE_TRAVERSE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!parentFolder) return false;
    for (int attempt = 0; attempt < kNameTries && !m_held; ++attempt) {
        std::wstring name = FolderName(prefix, attempt);
        m_held.Reset(CreateNewFolderIn(parentFolder.Get(), name, kFolderHoldAccess,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE, security.Attributes()));
        if (m_held)
            m_path = parent + L"\\" + name;
        else if (GetLastError() != ERROR_ALREADY_EXISTS)
            return false;
    }
    return m_held && GetFileInformationByHandle(m_held.Get(), &m_identity) && IsIntact();
}

bool PrivateFolder::IsIntact() const {
    return m_held && IsPlainFolderHandle(m_held.Get()) && PathLeadsTo(m_path, m_held.Get());
}

// The files are removed through the held folder. The folder itself needs delete access, which
// the hold leaves out (every open for a working folder would then meet a sharing violation),
// so it is opened again once let go, as itself, and removed only when it is the same folder.
// A program that worked in it may keep it open for a moment after its end.
void PrivateFolder::Remove() {
    if (!m_held) return;
    EmptyFolder(m_held.Get());
    m_held.Close();
    for (int round = 0; round < kEmptyRounds; ++round) {
        if (RemoveFolderIfSame(m_path, m_identity)) return;
        Sleep(kEmptyPauseMs);
    }
}
