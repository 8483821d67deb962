#pragma once

#include <windows.h>
#include <string>

#include "sys/scoped_handle.h"

// A folder of the process's own below a parent that others control (the user's temporary
// folder): created under a new name, never one that exists already, created and opened in one
// call so that the handle is the new folder, with access for the Administrators group and
// SYSTEM alone, and held open without delete sharing so that it cannot be renamed or removed
// (the hold itself takes no delete access, which would keep it from being a working folder).
// Nobody without administrator rights can add to it, change it or turn it into a link, so a
// path inside it names only what the process put there. It is removed with everything in it
// when the object ends, on every road.
class PrivateFolder {
  public:
    PrivateFolder() = default;
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    // Makes "<parent>\<prefix>-<process id>-<tick>-<try>"; false when no new folder could be
    // made there or its path does not lead to it.
    bool Create(const std::wstring& parent, const wchar_t* prefix);

    const std::wstring& Path() const { return m_path; }
    std::wstring File(const wchar_t* name) const { return m_path + L"\\" + name; }

    // Whether the folder is still a plain folder and its path still leads to it: checked before
    // every use of a path inside it.
    bool IsIntact() const;

  private:
    void Remove();

    std::wstring m_path;
    ScopedKernelHandle m_held;
    BY_HANDLE_FILE_INFORMATION m_identity = {};
};
