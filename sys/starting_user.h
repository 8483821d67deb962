#pragma once

#include <windows.h>

#include "sys/scoped_handle.h"

// What the user who started this program could do without elevation. The program asks for
// administrator rights; through UAC it then runs with the elevated half of a split token, and
// the user's own rights are those of the limited token linked to it. Without such a link (UAC
// off, or a privilege-management tool that elevates the user's own token) the user's own rights
// are those of a restricted copy of the process's token (CreateStartingUserToken).

// Whether that user could open the object behind the handle (opened with READ_CONTROL) with
// all of access: its owner, access list and integrity label checked against the limited token
// as an open by that user would check them. False when the check itself fails.
bool StartingUserMayAccess(HANDLE object, DWORD access);

// A restricted copy of this process's own primary token: the Administrators group for denial
// only, no privileges at all, medium integrity. A program started with it (CreateProcessAsUserW,
// which takes a restricted copy of the caller's own token without further privilege) runs with
// no more rights than the user who started this one. Null when it cannot be made.
ScopedKernelHandle CreateStartingUserToken();
