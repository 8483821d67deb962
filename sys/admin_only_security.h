#pragma once

#include <windows.h>
#include <vector>

// A security descriptor that gives full access to the Administrators group and SYSTEM alone,
// inherited by everything created below, and takes nothing from the parent: what the setup
// creates with it no unelevated process can open, change or add to.
class AdminOnlySecurity {
  public:
    AdminOnlySecurity();
    AdminOnlySecurity(const AdminOnlySecurity&) = delete;
    AdminOnlySecurity& operator=(const AdminOnlySecurity&) = delete;

    // Null when the descriptor could not be built; a creation must then fail, never fall back
    // to the inherited access.
    SECURITY_ATTRIBUTES* Attributes();

  private:
    bool Build();

    std::vector<BYTE> m_administrators;
    std::vector<BYTE> m_system;
    std::vector<BYTE> m_acl;
    SECURITY_DESCRIPTOR m_descriptor = {};
    SECURITY_ATTRIBUTES m_attributes = {};
    bool m_built = false;
};
