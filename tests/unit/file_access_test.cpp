// The Users grant on real files and directories of the prefix, and the plain-file opens. Wine keeps
// no DACL beyond the Unix mode bits, so the new list is checked where it is built, entry by entry,
// and the writing only for its result.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "install/traced_file_access.h"
#include "sys/file_access.h"
#include "sys/file_access_test_hook.h"
#include "sys/plain_file.h"
#include "sys/starting_user_file.h"
#include "tests/support/test_files.h"
#include "tests/support/trace_files.h"

using namespace trace_test;

namespace {

std::vector<BYTE> ReadDescriptor(const std::wstring& path, SECURITY_INFORMATION what) {
    DWORD needed = 0;
    GetFileSecurityW(path.c_str(), what, nullptr, 0, &needed);
    std::vector<BYTE> descriptor(needed);
    if (needed == 0 || !GetFileSecurityW(path.c_str(), what, descriptor.data(), needed, &needed))
        descriptor.clear();
    return descriptor;
}

// An ACL copied out of the file's security descriptor.
std::vector<BYTE> ReadFileDaclCopy(const std::wstring& path) {
    std::vector<BYTE> descriptor = ReadDescriptor(path, DACL_SECURITY_INFORMATION);
    if (descriptor.empty()) return {};
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted) || !present ||
        dacl == nullptr)
        return {};
    return std::vector<BYTE>(reinterpret_cast<BYTE*>(dacl),
                             reinterpret_cast<BYTE*>(dacl) + dacl->AclSize);
}

// A list of three different entries, one of them inherited, built with the real ACL calls.
std::vector<BYTE> BuildThreeEntryDacl() {
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID everyone = nullptr, system = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system);
    std::vector<BYTE> acl(512);
    PACL list = reinterpret_cast<PACL>(acl.data());
    InitializeAcl(list, static_cast<DWORD>(acl.size()), ACL_REVISION);
    AddAccessDeniedAce(list, ACL_REVISION, FILE_WRITE_DATA, everyone);
    AddAccessAllowedAceEx(list, ACL_REVISION, INHERITED_ACE, FILE_ALL_ACCESS, system);
    AddAccessAllowedAce(list, ACL_REVISION, FILE_GENERIC_READ, everyone);
    FreeSid(everyone);
    FreeSid(system);
    return acl;
}

ACL_SIZE_INFORMATION SizeOf(PACL acl) {
    ACL_SIZE_INFORMATION info = {};
    EXPECT_TRUE(GetAclInformation(acl, &info, sizeof(info), AclSizeInformation));
    return info;
}

ACE_HEADER* AceAt(PACL acl, DWORD index) {
    void* ace = nullptr;
    EXPECT_TRUE(GetAce(acl, index, &ace));
    return static_cast<ACE_HEADER*>(ace);
}

void ExpectUsersEntry(PACL acl, DWORD index, PSID users) {
    ACE_HEADER* header = AceAt(acl, index);
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(header->AceFlags, 3);
    auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
    EXPECT_EQ(allowed->Mask, 0xF0000000u);
    EXPECT_TRUE(EqualSid(&allowed->SidStart, users));
}

// built holds `added` Users entries, then every entry of old, byte for byte and in order.
void ExpectUsersThenOld(PACL built, DWORD added, PACL old, PSID users) {
    ACL_SIZE_INFORMATION oldInfo = SizeOf(old);
    ACL_SIZE_INFORMATION builtInfo = SizeOf(built);
    ASSERT_EQ(builtInfo.AceCount, oldInfo.AceCount + added);
    for (DWORD i = 0; i < added; ++i) ExpectUsersEntry(built, i, users);
    for (DWORD i = 0; i < oldInfo.AceCount; ++i) {
        ACE_HEADER* was = AceAt(old, i);
        ACE_HEADER* now = AceAt(built, i + added);
        ASSERT_EQ(now->AceSize, was->AceSize) << i;
        EXPECT_EQ(std::memcmp(now, was, was->AceSize), 0) << i;
    }
}

struct DaclSource {
    const char* label;
    std::vector<BYTE> (*read)(const TempFolder& dir);
};

std::vector<BYTE> DirectoryDacl(const TempFolder& dir) { return ReadFileDaclCopy(dir.Path()); }

std::vector<BYTE> FileDacl(const TempFolder& dir) {
    std::wstring file = dir.File(L"granted.txt");
    ScopedKernelHandle handle(CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    handle.Close();
    return ReadFileDaclCopy(file);
}

std::vector<BYTE> ThreeEntryDacl(const TempFolder&) { return BuildThreeEntryDacl(); }

class UsersFirstDacl : public ::testing::TestWithParam<DaclSource> {};

TEST_P(UsersFirstDacl, PutsOneUsersEntryFirstAndKeepsTheRest) {
    TempFolder dir(L"velmora_trace");
    std::vector<BYTE> old = GetParam().read(dir);
    ASSERT_FALSE(old.empty());
    std::vector<BYTE> users;
    ASSERT_TRUE(LookupUsersSid(users));
    PACL oldAcl = reinterpret_cast<PACL>(old.data());

    std::vector<BYTE> once;
    ASSERT_TRUE(BuildUsersFirstDacl(users.data(), oldAcl, once));
    PACL onceAcl = reinterpret_cast<PACL>(once.data());
    EXPECT_EQ(onceAcl->AclRevision, ACL_REVISION);
    EXPECT_EQ(onceAcl->AclSize, SizeOf(oldAcl).AclBytesInUse + GetLengthSid(users.data()) + 16);
    ExpectUsersThenOld(onceAcl, 1, oldAcl, users.data());

    // A second grant adds a second, identical entry in front; nothing is merged.
    std::vector<BYTE> twice;
    ASSERT_TRUE(BuildUsersFirstDacl(users.data(), onceAcl, twice));
    ExpectUsersThenOld(reinterpret_cast<PACL>(twice.data()), 2, oldAcl, users.data());
}

INSTANTIATE_TEST_SUITE_P(Sources, UsersFirstDacl,
                         ::testing::Values(DaclSource{"directory", DirectoryDacl},
                                           DaclSource{"file", FileDacl},
                                           DaclSource{"three entries", ThreeEntryDacl}),
                         [](const auto& info) {
                             std::string name = info.param.label;
                             for (char& c : name)
                                 if (c == ' ') c = '_';
                             return name;
                         });

TEST(UsersSid, IsTheBuiltinUsersGroup) {
    std::vector<BYTE> users;
    ASSERT_TRUE(LookupUsersSid(users));
    PSID builtinUsers = nullptr;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    ASSERT_TRUE(AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                         DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0, &builtinUsers));
    EXPECT_TRUE(EqualSid(users.data(), builtinUsers));
    FreeSid(builtinUsers);
}

std::vector<BYTE> OwnerOf(const std::wstring& path) {
    std::vector<BYTE> descriptor = ReadDescriptor(path, OWNER_SECURITY_INFORMATION);
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (descriptor.empty() || !GetSecurityDescriptorOwner(descriptor.data(), &owner, &defaulted) ||
        owner == nullptr)
        return {};
    BYTE* bytes = static_cast<BYTE*>(owner);
    return std::vector<BYTE>(bytes, bytes + GetLengthSid(owner));
}

struct GrantCase {
    const char* label;
    const wchar_t* name;  // inside the scratch directory; empty: the directory itself
};

class GrantOnHandle : public ::testing::TestWithParam<GrantCase> {};

// The case's directory, or a new empty file in it, at path, opened as the program opens what
// it grants on (a folder with backup semantics).
ScopedKernelHandle OpenToGrant(const TempFolder& dir, const GrantCase& c, std::wstring& path) {
    path = *c.name ? dir.File(c.name) : dir.Path();
    if (*c.name) WriteWholeFile(path, "");
    return ScopedKernelHandle(
        CreateFileW(path.c_str(), READ_CONTROL | WRITE_DAC,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    *c.name ? FILE_ATTRIBUTE_NORMAL : FILE_FLAG_BACKUP_SEMANTICS, nullptr));
}

TEST_P(GrantOnHandle, SucceedsAndKeepsTheOwner) {
    TempFolder dir(L"velmora_trace");
    std::wstring path;
    ScopedKernelHandle object = OpenToGrant(dir, GetParam(), path);
    ASSERT_TRUE(object.IsValid());
    std::vector<BYTE> ownerBefore = OwnerOf(path);
    ASSERT_FALSE(ownerBefore.empty());
    EXPECT_TRUE(AddFileAccessAllowedRights(object.Get()));
    EXPECT_TRUE(GrantUsersHandleAccess(object.Get()));
    EXPECT_EQ(OwnerOf(path), ownerBefore);
    EXPECT_TRUE(Exists(path));
}

INSTANTIATE_TEST_SUITE_P(Objects, GrantOnHandle,
                         ::testing::Values(GrantCase{"directory", L""},
                                           GrantCase{"file", L"granted.txt"}),
                         [](const auto& info) { return std::string(info.param.label); });

// What the grant handed the call that writes the descriptor, before passing it on.
struct WrittenDescriptor {
    int calls = 0;
    SECURITY_INFORMATION what = 0;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    std::vector<BYTE> dacl;
};
WrittenDescriptor g_written;
SetHandleSecurityCall g_realSetHandleSecurity = nullptr;

BOOL WINAPI RecordDescriptor(HANDLE object, SECURITY_INFORMATION what,
                             PSECURITY_DESCRIPTOR descriptor) {
    ++g_written.calls;
    g_written.what = what;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &g_written.present, &dacl, &g_written.defaulted);
    if (dacl != nullptr)
        g_written.dacl.assign(reinterpret_cast<BYTE*>(dacl),
                              reinterpret_cast<BYTE*>(dacl) + dacl->AclSize);
    return g_realSetHandleSecurity(object, what, descriptor);
}

// Wine cannot show it, so the seam does: the grant writes a descriptor whose DACL is present
// and is the Users-first list, never one without a DACL (which would let everyone in).
TEST_P(GrantOnHandle, WritesThePresentUsersFirstList) {
    TempFolder dir(L"velmora_trace");
    std::wstring path;
    ScopedKernelHandle object = OpenToGrant(dir, GetParam(), path);
    ASSERT_TRUE(object.IsValid());
    std::vector<BYTE> old = ReadFileDaclCopy(path);
    ASSERT_FALSE(old.empty());
    std::vector<BYTE> users, expected;
    ASSERT_TRUE(LookupUsersSid(users));
    ASSERT_TRUE(BuildUsersFirstDacl(users.data(), reinterpret_cast<PACL>(old.data()), expected));

    g_written = WrittenDescriptor();
    g_realSetHandleSecurity = ReplaceSetHandleSecurityForTesting(RecordDescriptor);
    bool granted = GrantUsersHandleAccess(object.Get());
    ReplaceSetHandleSecurityForTesting(g_realSetHandleSecurity);
    EXPECT_TRUE(granted);
    EXPECT_EQ(g_written.calls, 1);
    EXPECT_EQ(g_written.what, static_cast<SECURITY_INFORMATION>(DACL_SECURITY_INFORMATION));
    EXPECT_TRUE(g_written.present);
    EXPECT_TRUE(g_written.defaulted);
    EXPECT_EQ(g_written.dacl, expected);
}

// A failed open handed on must never open the elevated process itself to Users: its value is
// the process's own pseudo-handle.
TEST(GrantOnHandle, NeverOnAFailedOpen) {
    g_written = WrittenDescriptor();
    g_realSetHandleSecurity = ReplaceSetHandleSecurityForTesting(RecordDescriptor);
    for (HANDLE failed : {INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr)})
        EXPECT_FALSE(GrantUsersHandleAccess(failed));
    ReplaceSetHandleSecurityForTesting(g_realSetHandleSecurity);
    EXPECT_EQ(g_written.calls, 0);
}

struct ScopeCase {
    const char* label;
    bool targetExists;
    DWORD grantBit;
};

class GrantTraceScope : public ::testing::TestWithParam<ScopeCase> {};

// With tracing on, the grant writes its scope's entry and exit lines and nothing else.
TEST_P(GrantTraceScope, WritesEntryAndExitLinesOnly) {
    TempFolder dir(L"velmora_trace");
    std::wstring log = dir.File(L"grant.log");
    std::wstring target = GetParam().targetExists ? dir.Path() : dir.File(L"missing");
    ChildRun run = RunChild(ProbePath(), L"grant \"" + log + L"\" \"" + target + L"\"");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitCode, kRanToEnd | GetParam().grantBit);
    std::vector<std::string> rests = ReadLogRests(log);
    std::vector<std::string> expected = {EntryText("AddFileAccessAllowedRights"),
                                         ExitText("AddFileAccessAllowedRights")};
    EXPECT_EQ(rests, expected);
}

INSTANTIATE_TEST_SUITE_P(Targets, GrantTraceScope,
                         ::testing::Values(ScopeCase{"existing", true, kGrantSucceeded},
                                           ScopeCase{"missing", false, 0}),
                         [](const auto& info) { return std::string(info.param.label); });

// What a log path may name: only a plain file opens for writing, and whatever else stands
// there keeps its content. A stream or device name is refused before anything is opened.
TEST(PlainFileForWriting, OpensOnlyAPlainFile) {
    TempFolder dir(L"velmora_plain");
    const std::wstring existing = dir.File(L"existing.log");
    ASSERT_TRUE(WriteWholeFile(existing, "earlier\n"));
    const std::wstring linked = dir.File(L"linked.log");
    const std::wstring linkTarget = dir.File(L"target.log");
    ASSERT_TRUE(WriteWholeFile(linkTarget, "target\n"));
    ASSERT_TRUE(CreateHardLinkW(linked.c_str(), linkTarget.c_str(), nullptr));
    struct Case {
        const char* label;
        std::wstring path;
        bool opens;
        bool standsThere = true;  // whether something stands at the path for the second look
    };
    const Case cases[] = {
        {"new file", dir.File(L"new.log"), true},
        {"existing file", existing, true},
        {"folder", dir.Path(), false},
        {"second hard link", linked, false},
        {"device", L"NUL", false},
        {"stream of a file", existing + L":x", false, false},
        {"stream of a new file", dir.File(L"host.exe:x"), false, false},
        {"device name in a folder", dir.File(L"nul.log"), false, false},
        {"port name in a folder", dir.File(L"COM1"), false, false},
        {"device path", L"\\\\.\\C:", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ScopedKernelHandle file(OpenPlainFileForWritingAsStartingUser(c.path, 0, false));
        EXPECT_EQ(file.IsValid(), c.opens);
        if (!c.standsThere) continue;
        // A folder fails the open for writing before any check; opened the way a folder can
        // be, whatever stands there meets the plain-file check itself.
        ScopedKernelHandle seen(CreateFileW(
            c.path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        ASSERT_TRUE(seen.IsValid());
        EXPECT_EQ(IsPlainFileHandle(seen.Get()), c.opens);
    }
    EXPECT_EQ(ReadWholeFile(existing), "earlier\n");
    EXPECT_EQ(ReadWholeFile(linkTarget), "target\n");
    EXPECT_FALSE(Exists(dir.File(L"host.exe")));
}

}  // namespace
