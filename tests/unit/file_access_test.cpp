// The Users grant on real files and directories of the prefix, and the plain-file opens. Wine keeps
// no DACL beyond the Unix mode bits, so the new list is checked where it is built, entry by entry,
// and the writing only for its result.
#include <cstring>
#include <cwctype>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include "install/site_folder.h"
#include "sys/file_access.h"
#include "sys/file_access_test_hook.h"
#include "sys/admin_only_security.h"
#include "sys/file_in_folder.h"
#include "sys/path_text.h"
#include "sys/plain_file.h"
#include "sys/private_folder.h"
#include "sys/starting_user.h"
#include "sys/starting_user_file.h"
#include "sys/starting_user_test_hook.h"
#include "tests/fixtures/fixture_record.h"
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

std::vector<BYTE> FolderDacl(const TempFolder& dir) { return ReadFileDaclCopy(dir.Path()); }

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
                         ::testing::Values(DaclSource{"directory", FolderDacl},
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

BOOL WINAPI RecordDescriptor(HANDLE object, SECURITY_INFORMATION what,
                             PSECURITY_DESCRIPTOR descriptor) {
    ++g_written.calls;
    g_written.what = what;
    PACL dacl = nullptr;
    GetSecurityDescriptorDacl(descriptor, &g_written.present, &dacl, &g_written.defaulted);
    if (dacl != nullptr)
        g_written.dacl.assign(reinterpret_cast<BYTE*>(dacl),
                              reinterpret_cast<BYTE*>(dacl) + dacl->AclSize);
    return SetKernelObjectSecurity(object, what, descriptor);
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
    TestSeam<SetHandleSecurityCall>::Override recorded(g_setHandleSecurity, RecordDescriptor);
    bool granted = GrantUsersHandleAccess(object.Get());
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
    TestSeam<SetHandleSecurityCall>::Override recorded(g_setHandleSecurity, RecordDescriptor);
    for (HANDLE failed : {INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr)})
        EXPECT_FALSE(GrantUsersHandleAccess(failed));
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
        ScopedKernelHandle file = OpenPlainFileForWritingAsStartingUser(c.path, 0, false);
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

namespace {

// A user who may add a file to a folder but not change the access list of what this process
// creates there gets no file opened for a grant: a new file needs the same proof as an existing
// one (a seam: under Wine the user may do everything).
bool MayNotChangeAccessLists(HANDLE, DWORD access) { return (access & WRITE_DAC) == 0; }

TEST(PlainFileForWriting, ANewFileOpensForAGrantOnlyOnProof) {
    TempFolder dir(L"velmora_plain");
    TestSeam<StartingUserAccessCall>::Override standIn(g_startingUserAccess,
                                                       MayNotChangeAccessLists);
    ScopedKernelHandle granted =
        OpenPlainFileForWritingAsStartingUser(dir.File(L"new.log"), READ_CONTROL | WRITE_DAC, true);
    ScopedKernelHandle plain = OpenPlainFileForWritingAsStartingUser(dir.File(L"new.log"), 0, true);
    EXPECT_FALSE(granted.IsValid());
    EXPECT_TRUE(plain.IsValid());
}

std::wstring Lowered(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
    return text;
}

// A folder of the setup's own: a random name in the parent, its path read from its handle, its
// files made and held through that handle, and everything in it (folders too) gone with it.
TEST(PrivateFolderTest, MakesAHeldFolderAndRemovesItWithEverythingInIt) {
    TempFolder parent(L"velmora_private");
    std::wstring path;
    {
        PrivateFolder folder;
        ASSERT_TRUE(folder.Create(parent.Path(), L"Probe"));
        path = folder.Path();
        EXPECT_EQ(Lowered(FolderOfPath(path)), Lowered(parent.Path()));
        std::wstring name = NameOfPath(path);
        ASSERT_EQ(name.size(), 6u + 32u) << fixture::ToUtf8(name);
        EXPECT_EQ(name.substr(0, 6), L"Probe-");
        EXPECT_EQ(name.find_first_not_of(L"0123456789abcdef", 6), std::wstring::npos);
        PrivateFolder other;
        ASSERT_TRUE(other.Create(parent.Path(), L"Probe"));
        EXPECT_NE(other.Path(), path);
        EXPECT_TRUE(folder.IsIntact());

        ScopedKernelHandle file =
            CreateFreshFileIn(folder.Handle(), L"a.txt", GENERIC_WRITE, 0, nullptr);
        ASSERT_TRUE(file.IsValid());
        file.Close();
        EXPECT_TRUE(HoldPlainFileIn(folder.Handle(), L"a.txt").IsValid());
        ScopedKernelHandle inner = CreateNewFolderIn(folder.Handle(), L"inner", kFolderHoldAccess,
                                                     FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr);
        ASSERT_TRUE(inner.IsValid());
        ScopedKernelHandle deep =
            CreateNewFileIn(inner.Get(), L"deep.txt", GENERIC_WRITE, 0, nullptr);
        ASSERT_TRUE(deep.IsValid());
        deep.Close();
        inner.Close();
        EXPECT_TRUE(Exists(path + L"\\inner\\deep.txt"));
    }
    EXPECT_FALSE(Exists(path)) << "left behind";
}

// A link on the way (here: the parent moved away and another folder put in its place) changes
// nothing: the folder is no longer intact, and what is made through its handle lands in it,
// never where its path leads now.
TEST(PrivateFolderTest, WorksThroughItsHandleWhateverItsPathLeadsTo) {
    TempFolder parent(L"velmora_private");
    std::wstring moved = parent.Path() + L"_moved";
    PrivateFolder folder;
    ASSERT_TRUE(folder.Create(parent.Path(), L"Probe"));
    std::wstring path = folder.Path();
    std::wstring name = NameOfPath(path);
    if (!MoveFileW(parent.Path().c_str(), moved.c_str())) GTEST_SKIP() << "the parent is held";
    ASSERT_TRUE(CreateDirectoryW(parent.Path().c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    EXPECT_FALSE(folder.IsIntact());
    ScopedKernelHandle late =
        CreateFreshFileIn(folder.Handle(), L"late.txt", GENERIC_WRITE, 0, nullptr);
    EXPECT_TRUE(late.IsValid());
    late.Close();
    EXPECT_FALSE(Exists(path + L"\\late.txt"));
    EXPECT_TRUE(Exists(moved + L"\\" + name + L"\\late.txt"));
    // Put back, so that the folder can go (Wine lists a moved folder by its old path).
    ASSERT_TRUE(RemoveDirectoryW(path.c_str()));
    ASSERT_TRUE(RemoveDirectoryW(parent.Path().c_str()));
    ASSERT_TRUE(MoveFileW(moved.c_str(), parent.Path().c_str()));
}

// The opens of the file-security building blocks on real files of the prefix.
TEST(FileInFolder, OpensOnlyWhatItIsAskedFor) {
    TempFolder dir(L"velmora_blocks");
    const std::wstring plain = dir.File(L"plain.txt");
    const std::wstring target = dir.File(L"target.txt");
    const std::wstring linked = dir.File(L"linked.txt");
    ASSERT_TRUE(WriteWholeFile(plain, "plain\n"));
    ASSERT_TRUE(WriteWholeFile(target, "target\n"));
    ASSERT_TRUE(CreateHardLinkW(linked.c_str(), target.c_str(), nullptr));

    EXPECT_TRUE(HoldPlainFile(plain).IsValid());
    EXPECT_FALSE(HoldPlainFile(linked).IsValid()) << "a second hard link";
    EXPECT_FALSE(HoldPlainFile(dir.Path()).IsValid()) << "a folder";
    EXPECT_FALSE(HoldPlainFolder(plain).IsValid()) << "a file";
    ScopedKernelHandle folder = HoldPlainFolder(dir.Path());
    ASSERT_TRUE(folder.IsValid());
    EXPECT_TRUE(PathLeadsTo(dir.Path(), folder.Get()));
    EXPECT_FALSE(PathLeadsTo(plain, folder.Get()));
    EXPECT_FALSE(PathLeadsTo(dir.File(L"missing"), folder.Get()));

    ScopedKernelHandle made = OpenOrCreateFolderIn(folder.Get(), L"sub", kFolderHoldAccess,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(made.IsValid());
    EXPECT_TRUE(PathLeadsTo(dir.File(L"sub"), made.Get()));
    ScopedKernelHandle again = OpenOrCreateFolderIn(folder.Get(), L"sub", kFolderHoldAccess,
                                                    FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_TRUE(again.IsValid() && PathLeadsTo(dir.File(L"sub"), again.Get()));
    for (const wchar_t* name : {L"a\\b", L"..", L"x:y", L""})
        EXPECT_FALSE(
            OpenOrCreateFolderIn(folder.Get(), name, kFolderHoldAccess, FILE_SHARE_READ).IsValid())
            << fixture::ToUtf8(name);

    // Made anew over a second name of another file: the other file keeps its content.
    ScopedKernelHandle fresh =
        CreateFreshFileIn(folder.Get(), L"linked.txt", GENERIC_WRITE, 0, nullptr);
    ASSERT_TRUE(fresh.IsValid());
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(fresh.Get(), "new\n", 4, &written, nullptr));
    fresh.Close();
    EXPECT_EQ(ReadWholeFile(linked), "new\n");
    EXPECT_EQ(ReadWholeFile(target), "target\n");

    EXPECT_TRUE(RemoveFileIn(folder.Get(), L"plain.txt"));
    EXPECT_FALSE(Exists(plain));
    EXPECT_TRUE(RemoveFileIn(folder.Get(), L"plain.txt")) << "nothing to remove is no failure";
}

std::vector<BYTE> SidOf(WELL_KNOWN_SID_TYPE type) {
    std::vector<BYTE> sid(SECURITY_MAX_SID_SIZE);
    DWORD size = SECURITY_MAX_SID_SIZE;
    if (!CreateWellKnownSid(type, nullptr, sid.data(), &size)) sid.clear();
    return sid;
}

// Owned by Administrators, whoever creates with it; admin-only: Administrators and SYSTEM in
// full, the owner's implicit rights cut to READ_CONTROL, nothing from the parent.
TEST(AdminOnlySecurityTest, IsOwnedByAdministratorsAndOpenToThemAlone) {
    for (auto access :
         {AdminOnlySecurity::Access::AdminOnly, AdminOnlySecurity::Access::Inherited}) {
        bool adminOnly = access == AdminOnlySecurity::Access::AdminOnly;
        SCOPED_TRACE(adminOnly ? "admin only" : "inherited");
        AdminOnlySecurity security(access);
        ASSERT_NE(security.Attributes(), nullptr);
        PSECURITY_DESCRIPTOR descriptor = security.Attributes()->lpSecurityDescriptor;
        PSID owner = nullptr;
        BOOL defaulted = TRUE;
        ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &owner, &defaulted));
        ASSERT_NE(owner, nullptr);
        EXPECT_TRUE(EqualSid(owner, SidOf(WinBuiltinAdministratorsSid).data()));
        EXPECT_FALSE(defaulted);
        BOOL present = FALSE;
        PACL dacl = nullptr;
        ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted));
        EXPECT_EQ(present != FALSE, adminOnly);
        if (!adminOnly) continue;
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
        EXPECT_TRUE(control & SE_DACL_PROTECTED);
        const struct {
            WELL_KNOWN_SID_TYPE who;
            DWORD mask;
        } entries[] = {{WinBuiltinAdministratorsSid, FILE_ALL_ACCESS},
                       {WinLocalSystemSid, FILE_ALL_ACCESS},
                       {WinCreatorOwnerRightsSid, READ_CONTROL}};
        ASSERT_EQ(SizeOf(dacl).AceCount, 3u);
        for (DWORD i = 0; i < 3; ++i) {
            ACE_HEADER* header = AceAt(dacl, i);
            ASSERT_EQ(header->AceType, ACCESS_ALLOWED_ACE_TYPE);
            EXPECT_EQ(header->AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
            auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
            EXPECT_EQ(allowed->Mask, entries[i].mask) << i;
            EXPECT_TRUE(EqualSid(&allowed->SidStart, SidOf(entries[i].who).data())) << i;
        }
    }
}

// Kernel objects keep their access lists under Wine, as files do not: an event stands in for
// a file. Without a linked token, the starting user's rights are those of a restricted copy of
// the process's own token: what only administrators may open, the check refuses.
TEST(StartingUserAccess, FailsClosedWithoutALinkedToken) {
    const struct {
        const char* label;
        const wchar_t* sddl;
        bool allowed;
    } objects[] = {{"admin only", L"D:P(A;;GA;;;BA)(A;;GA;;;SY)", false},
                   {"everyone", L"D:P(A;;GA;;;WD)", true}};
    // Wine's linked token keeps the Administrators group: only the road without a link can
    // be shown here.
    TestSeam<bool>::Override withoutLink(g_ignoreLinkedToken, true);
    for (const auto& object : objects) {
        SCOPED_TRACE(object.label);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
            object.sddl, SDDL_REVISION_1, &descriptor, nullptr));
        SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
        ScopedKernelHandle event(CreateEventW(&attributes, TRUE, FALSE, nullptr));
        LocalFree(descriptor);
        ASSERT_TRUE(event.IsValid());
        EXPECT_EQ(StartingUserMayAccess(event.Get(), GENERIC_READ), object.allowed);
    }
}

// The answer for one access list is remembered; an object whose list has changed since is
// asked about again.
TEST(StartingUserAccess, AnswersAgainWhenTheAccessListChanges) {
    ScopedKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(event.IsValid());
    const struct {
        const wchar_t* sddl;
        bool allowed;
    } steps[] = {{L"D:P(A;;GA;;;WD)", true}, {L"D:P", false}, {L"D:P(A;;GA;;;WD)", true}};
    for (const auto& step : steps) {
        SCOPED_TRACE(testing::Message() << step.sddl);
        PSECURITY_DESCRIPTOR descriptor = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(step.sddl, SDDL_REVISION_1,
                                                                         &descriptor, nullptr));
        BOOL set = SetKernelObjectSecurity(event.Get(), DACL_SECURITY_INFORMATION, descriptor);
        LocalFree(descriptor);
        ASSERT_TRUE(set);
        EXPECT_EQ(StartingUserMayAccess(event.Get(), GENERIC_READ), step.allowed);
    }
}

}  // namespace
