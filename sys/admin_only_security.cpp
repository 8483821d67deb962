#include "sys/admin_only_security.h"

namespace {

constexpr DWORD kInheritFlags = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

bool WellKnownSid(WELL_KNOWN_SID_TYPE type, std::vector<BYTE>& sid) {
    DWORD size = SECURITY_MAX_SID_SIZE;
    sid.assign(size, 0);
    return CreateWellKnownSid(type, nullptr, sid.data(), &size) != FALSE;
}

}  // namespace

AdminOnlySecurity::AdminOnlySecurity(Access access) { m_built = Build(access); }

SECURITY_ATTRIBUTES* AdminOnlySecurity::Attributes() { return m_built ? &m_attributes : nullptr; }

bool AdminOnlySecurity::Build(Access access) {
    if (!WellKnownSid(WinBuiltinAdministratorsSid, m_administrators) ||
        !WellKnownSid(WinLocalSystemSid, m_system) ||
        !WellKnownSid(WinCreatorOwnerRightsSid, m_ownerRights))
        return false;
    if (!InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !SetSecurityDescriptorOwner(&m_descriptor, m_administrators.data(), FALSE))
        return false;
    if (access == Access::AdminOnly) {
        DWORD size = sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE);
        m_acl.assign(size, 0);
        PACL acl = reinterpret_cast<PACL>(m_acl.data());
        if (!InitializeAcl(acl, size, ACL_REVISION) ||
            !AddAccessAllowedAceEx(acl, ACL_REVISION, kInheritFlags, FILE_ALL_ACCESS,
                                   m_administrators.data()) ||
            !AddAccessAllowedAceEx(acl, ACL_REVISION, kInheritFlags, FILE_ALL_ACCESS,
                                   m_system.data()) ||
            !AddAccessAllowedAceEx(acl, ACL_REVISION, kInheritFlags, READ_CONTROL,
                                   m_ownerRights.data()))
            return false;
        // Protected: the parent's inheritable entries (the user's own, in a temporary folder)
        // are not merged in.
        if (!SetSecurityDescriptorDacl(&m_descriptor, TRUE, acl, FALSE) ||
            !SetSecurityDescriptorControl(&m_descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED))
            return false;
    }
    m_attributes.nLength = sizeof(m_attributes);
    m_attributes.lpSecurityDescriptor = &m_descriptor;
    m_attributes.bInheritHandle = FALSE;
    return true;
}
