#pragma once

#include <windows.h>
#include <string>

#include "sys/scoped_handle.h"

// A folder of the process's own: created under a new name with a random part nobody can guess,
// never one that exists already, created and opened in one call so that the handle is the new
// folder, owned by the Administrators group with access for that group and SYSTEM alone, and
// held open without delete sharing so that it cannot be renamed or removed (the hold itself
// takes no delete access, which would keep it from being a working folder). Nobody without
// administrator rights can add to it, change it or turn it into a link. Every file in it is
// created, held, read and removed through the held handle, and its path is read from that
// handle. It is removed with everything in it when the object ends, on every road.
class PrivateFolder {
  public:
    PrivateFolder() = default;
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    // Makes "<parent>\<prefix>-<random part>"; false when no new folder could be made there or
    // its path cannot be read from its handle.
    bool Create(const std::wstring& parent, const wchar_t* prefix);

    // The folder's full path as the system names it, read from the held handle.
    const std::wstring& Path() const { return m_path; }
    std::wstring File(const wchar_t* name) const { return m_path + L"\\" + name; }
    HANDLE Handle() const { return m_held.Get(); }

    // Whether the folder is still a plain folder and its path still leads to it.
    bool IsIntact() const;

  private:
    void Remove();

    std::wstring m_name;
    std::wstring m_path;
    ScopedKernelHandle m_parent;
    ScopedKernelHandle m_held;
    BY_HANDLE_FILE_INFORMATION m_identity = {};
};
