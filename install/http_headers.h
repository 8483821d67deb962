#pragma once

#include <windows.h>
#include <wininet.h>
#include <string>

// A response header as text: first asked for its length, then read into a buffer of that
// length. False with the platform's last error when the header is missing or unreadable.
bool QueryHeaderText(HINTERNET request, DWORD query, std::wstring& text);

// A Content-Length as the size query reports it: a signed decimal number with leading white
// space and a sign allowed, ending at the first non-digit, 0 without digits, and clamped to
// the 32-bit range.
int ParseContentLength(const std::wstring& text);

// A Content-Length as the download checks a body against it; false when it holds no number.
bool ParseAnnouncedLength(const std::wstring& text, unsigned long long& length);
