#pragma once

#include <string>

// A Content-Length as the size query reports it: a signed decimal number with leading white
// space and a sign allowed, ending at the first non-digit, 0 without digits, and clamped to
// the 32-bit range.
int ParseContentLength(const std::wstring& text);

// A Content-Length as the download checks a body against it; false when it holds no number.
bool ParseAnnouncedLength(const std::wstring& text, unsigned long long& length);
