#pragma once

#include <windows.h>

// What the user who started this program could do without elevation. The program asks for
// administrator rights; through UAC it then runs with the elevated half of a split token, and
// the user's own rights are those of the limited token linked to it. Without such a link (UAC
// off, the built-in administrator, SYSTEM) the process runs with its user's only token, and
// what it may do is what that user may do.

// Whether that user could open the object behind the handle (opened with READ_CONTROL) with
// all of access: its owner, access list and integrity label checked against the limited token
// as an open by that user would check them. Always true without a split token; false when the
// check itself fails.
bool StartingUserMayAccess(HANDLE object, DWORD access);
