#pragma once

#include <string>

class FuncTrace;

// The descriptor file, read by the pure rule of service_descriptor.h.

// Reads the site name from the descriptor file at path and logs through the caller's scope:
// "velmora_server.exe Open fail___", "Wrong xml___" (also for a descriptor without any start
// tag) or "SiteName: %S". The file is closed again on every path.
bool ReadSiteName(FuncTrace& scope, const std::wstring& path, std::wstring& siteName);
