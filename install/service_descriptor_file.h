#pragma once

#include <windows.h>
#include <string>

class FuncTrace;

// The descriptor file, read by the pure rule of service_descriptor.h.

// Reads the site name from the open descriptor file (from its start, whatever was read before)
// and logs through the caller's scope: "velmora_server.exe Open fail___" (a null or invalid
// handle), "Wrong xml___" (also for a descriptor without any start tag) or "SiteName: %S".
bool ReadSiteName(FuncTrace& scope, HANDLE file, std::wstring& siteName);

// The same for the descriptor file at path, which is opened for the reading and closed again on
// every path.
bool ReadSiteName(FuncTrace& scope, const std::wstring& path, std::wstring& siteName);
