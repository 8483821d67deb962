#include "sys/private_folder.h"

#include <ntsecapi.h>
#include <vector>

#include "sys/admin_only_security.h"
#include "sys/file_in_folder.h"
#include "sys/plain_file.h"

namespace {

constexpr int kNameTries = 16;
constexpr ULONG kRandomBytes = 16;
constexpr int kEmptyRounds = 100;
constexpr DWORD kEmptyPauseMs = 50;
// Folders below the held one are emptied to this depth; the process only makes flat ones.
constexpr int kEmptyDepth = 8;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// 128 bits from the system's random source, as hex: a name nobody can make beforehand.
bool RandomName(const wchar_t* prefix, std::wstring& name) {
    unsigned char bytes[kRandomBytes];
    if (!RtlGenRandom(bytes, kRandomBytes)) return false;
    static const wchar_t kHex[] = L"0123456789abcdef";
    name = std::wstring(prefix) + L"-";
    for (unsigned char b : bytes) {
        name += kHex[b >> 4];
        name += kHex[b & 0xF];
    }
    return true;
}

void RemoveEntriesIn(HANDLE folder, int depth);

// A folder inside is emptied through its own handle, then removed as itself.
void RemoveEntryIn(HANDLE folder, const FolderEntry& entry, int depth) {
    if (!entry.folder) {
        RemoveFileIn(folder, entry.name);
        return;
    }
    ScopedKernelHandle inner =
        OpenFolderIn(folder, entry.name, kFolderHoldAccess | DELETE, kShareAll);
    if (!inner) return;
    if (depth > 0 && IsPlainFolderHandle(inner.Get())) RemoveEntriesIn(inner.Get(), depth - 1);
    DeleteWhenClosed(inner.Get());
}

void RemoveEntriesIn(HANDLE folder, int depth) {
    for (const FolderEntry& entry : ListEntriesIn(folder)) RemoveEntryIn(folder, entry, depth);
}

// A removed file stays listed until the last handle to it is closed, and a program that has
// just ended may still hold its image for a moment; the folder can only go once it is empty.
void EmptyFolder(HANDLE folder) {
    for (int round = 0; round < kEmptyRounds; ++round) {
        if (ListEntriesIn(folder).empty()) return;
        RemoveEntriesIn(folder, kEmptyDepth);
        if (ListEntriesIn(folder).empty()) return;
        Sleep(kEmptyPauseMs);
    }
}

// False while the folder still stands in parent and may be removed on a later try; true once it
// is gone, or when what stands there is not that folder (which is then left alone).
bool RemoveFolderIfSame(HANDLE parent, const std::wstring& name,
                        const BY_HANDLE_FILE_INFORMATION& identity) {
    ScopedKernelHandle folder = OpenEntryIn(parent, name, DELETE | FILE_READ_ATTRIBUTES, kShareAll);
    if (!folder) return GetLastError() != ERROR_SHARING_VIOLATION;
    BY_HANDLE_FILE_INFORMATION found;
    if (!GetFileInformationByHandle(folder.Get(), &found) || !IsSameFile(found, identity))
        return true;
    DeleteWhenClosed(folder.Get());
    folder.Close();
    ScopedKernelHandle still = OpenEntryIn(parent, name, FILE_READ_ATTRIBUTES, kShareAll);
    return !still && GetLastError() != ERROR_ACCESS_DENIED;
}

}  // namespace

PrivateFolder::~PrivateFolder() { Remove(); }

bool PrivateFolder::Create(const std::wstring& parent, const wchar_t* prefix) {
    AdminOnlySecurity security;
    if (parent.empty() || security.Attributes() == nullptr) return false;
    m_parent.Reset(CreateFileW(parent.c_str(), FILE_TRAVERSE | SYNCHRONIZE, kShareAll, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!m_parent) return false;
    for (int attempt = 0; attempt < kNameTries && !m_held; ++attempt) {
        if (!RandomName(prefix, m_name)) return false;
        m_held = CreateNewFolderIn(m_parent.Get(), m_name, kFolderHoldAccess,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE, security.Attributes());
        DWORD error = GetLastError();
        if (!m_held && error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return false;
    }
    return m_held && GetFileInformationByHandle(m_held.Get(), &m_identity) &&
           ReadFinalPath(m_held.Get(), m_path) && IsIntact();
}

bool PrivateFolder::IsIntact() const {
    return m_held && IsPlainFolderHandle(m_held.Get()) && PathLeadsTo(m_path, m_held.Get());
}

// The entries are removed through the held folder. The folder itself needs delete access, which
// the hold leaves out (every open for a working folder would then meet a sharing violation),
// so it is opened again in the held parent once let go, as itself, and removed only when it is
// the same folder.
// A program that worked in it may keep it open for a moment after its end.
void PrivateFolder::Remove() {
    if (!m_held) return;
    EmptyFolder(m_held.Get());
    m_held.Close();
    for (int round = 0; round < kEmptyRounds; ++round) {
        if (RemoveFolderIfSame(m_parent.Get(), m_name, m_identity)) return;
        Sleep(kEmptyPauseMs);
    }
}
