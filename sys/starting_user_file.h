#pragma once

#include <windows.h>
#include <string>

#include "sys/scoped_handle.h"

// Opens or creates, for writing, a plain file whose path the user who started the program
// chose (through values that any of that user's processes may write): only where that user
// could open or create it without elevation, so that the elevated program never creates,
// empties, writes or grants a file in a place open to administrators only.
//
// An existing file opens, without being followed if it is a link, when it is a plain file
// (IsPlainFileHandle) that the user may write, and with extraAccess only when the user holds that
// too; it is emptied when asked, after both proofs. A missing file is created inside the folder
// that the user may add files to, through the open handle of that folder, so the folder proved is
// the one written in. The path must be a plain file path (IsPlainFilePath): no stream, no device.
// A new file needs the same proofs as an existing one: the user may write it, and with
// extraAccess only when the user holds that too. Null when any of this fails; without a linked
// token the user's rights are those of a restricted copy of this process's token.
ScopedKernelHandle OpenPlainFileForWritingAsStartingUser(const std::wstring& path,
                                                         DWORD extraAccess, bool empty);
