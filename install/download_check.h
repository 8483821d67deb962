#pragma once

#include <windows.h>
#include <string>

// Whether the open file is a whole Windows program image (install/program_image.h). Reads the
// headers and the section table through the handle, which needs GENERIC_READ; the file
// pointer is left wherever the last read ended, so a caller that reads on must seek first.
// The check runs on what the handle holds, never on a name that could be swapped meanwhile.
bool IsWholeWindowsProgram(HANDLE file);

// IsWholeWindowsProgram on the file at path, opened for reading for the check alone; a
// missing or unreadable file is not a program.
bool IsWindowsProgramFile(const std::wstring& path);

// The logical size of the file at path (where its data ends, not the room it takes on disk); 0
// when it is missing or a directory.
unsigned long long LogicalFileSize(const std::wstring& path);
