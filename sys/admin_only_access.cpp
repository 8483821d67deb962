#include "sys/admin_only_access.h"

#include "sys/admin_only_security.h"
#include "sys/object_security.h"

bool ScopedAdminOnlyAccess::Lock(HANDLE object) {
    Restore();
    AdminOnlySecurity security;
    if (object == nullptr || object == INVALID_HANDLE_VALUE || security.Attributes() == nullptr ||
        !ReadObjectSecurity(object, DACL_SECURITY_INFORMATION, m_saved) ||
        !SetKernelObjectSecurity(object, DACL_SECURITY_INFORMATION,
                                 security.Attributes()->lpSecurityDescriptor))
        return false;
    m_object = object;
    return true;
}

void ScopedAdminOnlyAccess::Restore() {
    if (m_object == nullptr) return;
    SetKernelObjectSecurity(m_object, DACL_SECURITY_INFORMATION, m_saved.data());
    m_object = nullptr;
}
