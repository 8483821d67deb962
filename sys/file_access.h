#pragma once

#include <windows.h>
#include <vector>

// Opens the file or folder an open handle refers to (opened with READ_CONTROL and
// WRITE_DAC) to the local "Users" group, whatever has become of the name it was opened by:
// full access, inherited below a folder, as a new first entry in front of all existing
// entries of its DACL. False, and nothing written, for a null or invalid handle. Writes no trace
// lines, so the log configuration can use it before tracing is set up.
bool GrantUsersHandleAccess(HANDLE object);

// Builds the new list: the Users entry first, then every entry of oldDacl in its order.
bool BuildUsersFirstDacl(PSID usersSid, PACL oldDacl, std::vector<BYTE>& newDacl);

// The security identifier of the local account name "Users".
bool LookupUsersSid(std::vector<BYTE>& sid);
