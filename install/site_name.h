#pragma once

#include <string>

// Whether a site name from the server may become one directory below the base directory:
// a single plain file name that stays where it is put. Refused: an empty name, "." and "..",
// path separators and drive or stream colons, control characters, the characters Windows
// forbids in file names, trailing dots or spaces (Windows drops them, so the directory would
// get another name), and the reserved device names (CON, PRN, AUX, NUL, COM1-9, LPT1-9),
// also with an extension.
bool IsSafeSiteName(const std::wstring& name);
