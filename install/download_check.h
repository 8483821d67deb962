#pragma once

#include <string>

// Whether the file at path begins with "MZ", the signature of a Windows program; a missing,
// unreadable or shorter file is not one.
bool IsWindowsProgramFile(const std::wstring& path);

// Whether a finished download came out shorter than the size the server announced: true when
// announcedSize is known (0 or more) and the file on disk is smaller. A missing file counts as
// empty; an unknown size (negative) never makes a download short.
bool IsShortDownload(const std::wstring& path, int announcedSize);
