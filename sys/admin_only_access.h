#pragma once

#include <windows.h>
#include <vector>

// Makes the object an open handle refers to (opened with READ_CONTROL and WRITE_DAC) admin-only
// for a while: its access list is read and kept, replaced by the one of AdminOnlySecurity, and
// written back as it was when the object ends (or earlier, by Restore). Entries created below it
// meanwhile inherit the admin-only list.
class ScopedAdminOnlyAccess {
  public:
    ScopedAdminOnlyAccess() = default;
    ~ScopedAdminOnlyAccess() { Restore(); }
    ScopedAdminOnlyAccess(const ScopedAdminOnlyAccess&) = delete;
    ScopedAdminOnlyAccess& operator=(const ScopedAdminOnlyAccess&) = delete;

    // False, and nothing changed, when the list cannot be read or the new one not written.
    bool Lock(HANDLE object);
    // Writes the kept list back, once; nothing when nothing was locked.
    void Restore();

  private:
    HANDLE m_object = nullptr;
    std::vector<BYTE> m_saved;
};
