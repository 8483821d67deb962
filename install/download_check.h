#pragma once

#include <windows.h>
#include <string>

// Whether the file at path begins with "MZ", the signature of a Windows program; a missing,
// unreadable or shorter file is not one.
bool IsWindowsProgramFile(const std::wstring& path);

// The same check on an open file (with read access), read from its first byte: the file a
// step holds from the end of its download until the program has been started.
bool IsWindowsProgramHandle(HANDLE file);

// Holds a finished download: the plain file at path opened for reading and shared for reading
// only, so that no other process can write, rename or delete it while the step checks and
// starts or moves it. Null when it cannot be held, which counts as a failed download.
HANDLE HoldDownloadedFile(const std::wstring& path);

// Whether a finished download came out shorter than the size the server announced: true when
// announcedSize is known (0 or more) and the file on disk is smaller. A missing file counts as
// empty; an unknown size (negative) never makes a download short.
bool IsShortDownload(const std::wstring& path, int announcedSize);
