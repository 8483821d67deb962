#pragma once

#include <windows.h>
#include <string>

// Whether what a folder holds was put there by administrators alone: the owner of the folder
// and of every entry right inside it is the Administrators group, SYSTEM or TrustedInstaller.
// A program started elevated in a folder loads DLLs from it first; an entry of any other owner
// (a DLL a user planted, or a file a program wrote there while it ran as the user) may be the
// user's, and the folder is then no place to run elevated.

// Finds the first entry of another owner in the held folder (opened with FILE_LIST_DIRECTORY
// and READ_CONTROL), the folder itself first: true with its name in found ("." for the folder
// itself). An entry whose owner cannot be read counts as one of another owner.
bool FindEntryOfAnotherOwner(HANDLE folder, std::wstring& found);
