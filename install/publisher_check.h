#pragma once

#include <windows.h>
#include <string>

#include "install/publisher_pins.h"

class FuncTrace;

// Whether a downloaded program may run under the pins stamped into this copy. Without a pin in
// force, true at once and nothing is logged. With one, the file that file holds (read through
// the handle, which needs GENERIC_READ; path only names it to the platform) must carry an
// Authenticode signature that WinVerifyTrust accepts, and some certificate of its signer's
// chain must carry a pinned key. A refusal writes one line through scope: the WinVerifyTrust
// result, or "publisher not pinned" with the signer's subject. The file pointer is left
// wherever the check left it.
bool IsFromPinnedPublisher(FuncTrace& scope, HANDLE file, const std::wstring& path,
                           const char* fileForLog, const PublisherPins& pins);
