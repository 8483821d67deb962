#pragma once

#include <windows.h>
#include <wininet.h>

#include "install/internet_session.h"

class URLDownCallBack;

// Result of a body that ended before the length its response announced.
constexpr HRESULT kDownloadIncomplete = static_cast<HRESULT>(0x80000000u | ERROR_HANDLE_EOF);

// Downloads an http or https url into localPath through WinINet, the one engine of the
// installation steps; takes what URLDownloadToFileW takes and reports progress to the same
// callback (which may be null): a data report with the running total after every arrival
// written, and an end report with the total once the file is closed. 0 for a finished
// download, a negative result for a failed one: kDownloadTimedOut when nothing arrived for the
// quiet period, the platform's or the system's error otherwise.
HRESULT URLDownloadToFileOnHttps(const wchar_t* url, const wchar_t* localPath,
                                 URLDownCallBack* callback);

// The same into the file fileName inside folder, a folder the caller holds open: the file is
// created anew through the folder's handle, never through a path.
HRESULT URLDownloadToFileOnHttps(const wchar_t* url, HANDLE folder, const wchar_t* fileName,
                                 URLDownCallBack* callback);
