#pragma once

#include <windows.h>
#include <string>

class FuncTrace;
class InstallDisplay;
class URLDownCallBack;

// The two installation steps, as functions of the service address (host, port, and https
// 1 for https) and of what they show. Each returns 0 or -1; ran, when given, tells whether
// the step's program was started and waited for.

// Downloads the launcher-control installer into the temporary folder (up to five attempts),
// runs it ("/verysilent" when automatic), waits for it and deletes it; -1 without a host.
int InstallActiveX(const wchar_t* host, int port, int https, bool automatic,
                   InstallDisplay& display, bool* ran = nullptr);

// Reads the site name from the service descriptor, lays out the base and site folders,
// writes the host's registry values, downloads the update agent there and runs it.
int RunQLUpdate(const std::wstring& host, int port, int https, InstallDisplay& display,
                bool* ran = nullptr);

// Sizes the progress bar from the size query, drops the cached copy and downloads with the
// engine of the scheme (the direct download over https, the platform's moniker download
// otherwise). A body short of the length its own answer announced is a failed download,
// traced through the step's scope.
HRESULT FetchPublishedFile(FuncTrace& scope, const std::wstring& url, const std::wstring& localPath,
                           int https, URLDownCallBack* callback, InstallDisplay& display);
