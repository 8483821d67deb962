#pragma once

#include <string>
#include <vector>

// The environment a started program gets: this process's own (the user's), with TEMP and TMP
// set to a folder of the setup's choosing, so that an elevated installer that unpacks to its
// temporary folder works where only administrators reach.

// The block for CreateProcessW (CREATE_UNICODE_ENVIRONMENT): every entry of entries ("NAME=value")
// but TEMP and TMP, which name tempFolder instead, sorted by name without regard to case, each
// ended by a NUL and the whole by one more.
std::wstring EnvironmentBlockWithTemp(const std::vector<std::wstring>& entries,
                                      const std::wstring& tempFolder);

// The entries of this process's environment.
std::vector<std::wstring> OwnEnvironmentEntries();
