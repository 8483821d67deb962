#pragma once

#include <windows.h>
#include <wininet.h>
#include <string>

// How the callers read a Content-Length they queried.
#include "install/content_length.h"

// A response header as text: first asked for its length, then read into a buffer of that
// length. False with the platform's last error when the header is missing or unreadable.
bool QueryHeaderText(HINTERNET request, DWORD query, std::wstring& text);
