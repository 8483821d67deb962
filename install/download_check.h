#pragma once

#include <windows.h>

// Whether the open file is a whole Windows program image (install/program_image.h). Reads the
// headers and the section table through the handle, which needs GENERIC_READ; the file
// pointer is left wherever the last read ended, so a caller that reads on must seek first.
// The check runs on what the handle holds, never on a name that could be swapped meanwhile.
bool IsWholeWindowsProgram(HANDLE file);
