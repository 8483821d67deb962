#pragma once

#include <windows.h>
#include <string>

#include "sys/admin_only_access.h"
#include "sys/scoped_handle.h"

// The folders the update agent lives in: the base folder in Program Files, open to Users, and
// the site folder below it, named by the server. Users may change anything in the base at any
// moment, so both are held open from their making to the end of the step, and everything in
// the site folder is made and proved through the held handles, never through a path.

// The service descriptor's copy and the agent, as the site folder names them.
constexpr wchar_t kDescriptorFile[] = L"velmora_server.exe";
constexpr wchar_t kAgentFile[] = L"QLUpdate.exe";

// The Program Files folder; empty when the shell cannot tell, so that a base below the
// current drive's root is never made.
std::wstring ProgramFilesFolder();

// Only an administrator makes entries in the Program Files folder, so the base folder is made
// by its path; an existing one that is a junction or symbolic link is refused (false). Whether
// the result is a folder at all is left to the caller: an existing base that is no folder is
// used as it is (held then holds nothing), and the site folder then cannot be made below it.
bool MakeBaseFolder(const std::wstring& path, ScopedKernelHandle& held);

// The site folder siteName, opened or made inside the held base by its name and held; a link
// under that name, or at sitePath, is refused. A new one is owned by the Administrators group
// and takes its access from the base.
ScopedKernelHandle MakeSiteFolder(HANDLE base, const std::wstring& sitePath,
                                  const std::wstring& siteName);

// The descriptor's copy, made anew inside the held site folder and held there, unshared for
// writing and deletion: while it stands, the folder is not empty and so cannot become a
// junction.
ScopedKernelHandle PlaceDescriptorCopy(HANDLE site, HANDLE descriptor);

// Whether sitePath leads to the held site folder. The agent's path is started by name, so this
// is proven once the folder holds the descriptor's copy, after which neither the folder nor the
// base above it can be renamed, removed or made a junction until the step ends.
bool SitePathLeadsToHeldFolder(HANDLE site, const std::wstring& sitePath);

// The agent, written anew from the downloaded file inside the held site folder under an access
// list for administrators alone, and held for reading before its writer lets go, so that its
// name is never free and no unelevated process can write, rename or delete it before it runs.
// Holds nothing unless what was placed is a plain file and a whole program.
ScopedKernelHandle PlaceAgent(HANDLE site, HANDLE downloaded);

// Once the agent has run, its file is opened to Users like everything else in the site
// folder, so that it can update itself without elevation.
void OpenAgentToUsers(HANDLE site);

// The descriptor's copy is created owned by Administrators, inheriting the admin-only list of
// the locked folder; like the agent, it is opened to Users as everything in the site folder is.
void OpenDescriptorCopyToUsers(HANDLE copy);

// The base and site folders are opened to Users only once nothing runs elevated in them any
// more: at the end of the step, on every road, the site folder's own access list put back
// first. What the step leaves is then what it always left.
class UsersGrantsAtEnd {
  public:
    ~UsersGrantsAtEnd() { Grant(); }

    void Grant();

    HANDLE base = nullptr;
    HANDLE site = nullptr;
    ScopedAdminOnlyAccess siteLock;

  private:
    bool m_granted = false;
};

// The Users grant of sys/file_access.h as the installation steps run it: inside the trace
// scope "AddFileAccessAllowedRights", so the log shows every folder the setup opens up. The
// grant is on the folder an open handle refers to (opened with READ_CONTROL and WRITE_DAC),
// whatever its path leads to by now.
bool AddFileAccessAllowedRights(HANDLE folder);
