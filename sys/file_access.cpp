#include "sys/file_access.h"

#include "sys/file_access_test_hook.h"
#include "sys/object_security.h"

TestSeam<SetHandleSecurityCall> g_setHandleSecurity{SetKernelObjectSecurity};

namespace {

constexpr DWORD kUsersAccessMask = 0xF0000000;  // GENERIC_READ|WRITE|EXECUTE|ALL
constexpr DWORD kInheritFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

// A descriptor without a list, or with a null list, has nothing to extend.
bool ReadHandleDacl(HANDLE object, std::vector<BYTE>& descriptor, PACL& dacl) {
    if (!ReadObjectSecurity(object, DACL_SECURITY_INFORMATION, descriptor)) return false;
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor.data(), &present, &dacl, &defaulted)) return false;
    return present && dacl != nullptr;
}

// The descriptor that carries only the new list, as the grant writes it.
bool UsersFirstDescriptor(PACL oldDacl, std::vector<BYTE>& newDacl,
                          SECURITY_DESCRIPTOR& descriptor) {
    std::vector<BYTE> usersSid;
    if (!LookupUsersSid(usersSid)) return false;
    if (!BuildUsersFirstDacl(usersSid.data(), oldDacl, newDacl)) return false;
    if (!InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION)) return false;
    return SetSecurityDescriptorDacl(&descriptor, TRUE, reinterpret_cast<PACL>(newDacl.data()),
                                     TRUE) != FALSE;
}

}  // namespace

bool LookupUsersSid(std::vector<BYTE>& sid) {
    DWORD sidSize = 0;
    DWORD domainSize = 0;
    SID_NAME_USE use;
    LookupAccountNameW(nullptr, L"Users", nullptr, &sidSize, nullptr, &domainSize, &use);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    sid.assign(sidSize, 0);
    std::vector<wchar_t> domain(domainSize + 1);
    return LookupAccountNameW(nullptr, L"Users", sid.data(), &sidSize, domain.data(), &domainSize,
                              &use) != FALSE;
}

bool BuildUsersFirstDacl(PSID usersSid, PACL oldDacl, std::vector<BYTE>& newDacl) {
    ACL_SIZE_INFORMATION info = {};
    if (!GetAclInformation(oldDacl, &info, sizeof(info), AclSizeInformation)) return false;
    DWORD size = info.AclBytesInUse + GetLengthSid(usersSid) + 16;
    newDacl.assign(size, 0);
    PACL acl = reinterpret_cast<PACL>(newDacl.data());
    if (!InitializeAcl(acl, size, ACL_REVISION)) return false;
    if (!AddAccessAllowedAceEx(acl, ACL_REVISION, kInheritFlags, kUsersAccessMask, usersSid))
        return false;
    for (DWORD i = 0; i < info.AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(oldDacl, i, &ace)) return false;
        WORD aceSize = static_cast<ACE_HEADER*>(ace)->AceSize;
        if (!AddAce(acl, ACL_REVISION, MAXDWORD, ace, aceSize)) return false;
    }
    return true;
}

bool GrantUsersHandleAccess(HANDLE object) {
    // The value of a failed open is also the process's own pseudo-handle.
    if (object == nullptr || object == INVALID_HANDLE_VALUE) return false;
    std::vector<BYTE> oldDescriptor;
    PACL oldDacl = nullptr;
    if (!ReadHandleDacl(object, oldDescriptor, oldDacl)) return false;
    std::vector<BYTE> newDacl;
    SECURITY_DESCRIPTOR descriptor;
    if (!UsersFirstDescriptor(oldDacl, newDacl, descriptor)) return false;
    return g_setHandleSecurity.Get()(object, DACL_SECURITY_INFORMATION, &descriptor) != FALSE;
}
