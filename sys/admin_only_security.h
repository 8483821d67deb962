#pragma once

#include <windows.h>
#include <vector>

// A security descriptor owned by the Administrators group that gives full access to that
// group and SYSTEM alone, inherited by everything created below, and takes nothing from the
// parent: what the setup creates with it no unelevated process can open, change or add to.
// Its owner is never the user who started the setup (whom the policy "object creator is owner"
// would make the owner of an elevated process's files), and an OWNER RIGHTS entry allowing
// READ_CONTROL alone takes from whoever owns it the implicit right to change its access list.
class AdminOnlySecurity {
  public:
    // What the descriptor sets besides its owner: the admin-only access list, or none, so that
    // the new object inherits its parent's and only the owner is fixed.
    enum class Access { AdminOnly, Inherited };

    explicit AdminOnlySecurity(Access access = Access::AdminOnly);
    AdminOnlySecurity(const AdminOnlySecurity&) = delete;
    AdminOnlySecurity& operator=(const AdminOnlySecurity&) = delete;

    // Null when the descriptor could not be built; a creation must then fail, never fall back
    // to the inherited access.
    SECURITY_ATTRIBUTES* Attributes();

  private:
    bool Build(Access access);

    std::vector<BYTE> m_administrators;
    std::vector<BYTE> m_system;
    std::vector<BYTE> m_ownerRights;
    std::vector<BYTE> m_acl;
    SECURITY_DESCRIPTOR m_descriptor = {};
    SECURITY_ATTRIBUTES m_attributes = {};
    bool m_built = false;
};
