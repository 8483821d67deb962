#pragma once

#include <windows.h>
#include <string>

#include "install/service_address.h"

class FuncTrace;
class InstallDisplay;
class URLDownCallBack;

// How an installation step ended.
enum class StepOutcome {
    NoHost,  // the address has no host: nothing was tried
    Failed,  // the step gave up, or its program was not started and waited for
    Ran,     // the step's program was started and waited for
};

// The two installation steps, as functions of the service address and of what they show.

// Downloads the launcher-control installer into the temporary folder (up to five attempts),
// runs it ("/verysilent" when automatic), waits for it and deletes it.
StepOutcome InstallActiveX(const ServiceAddress& service, bool automatic, InstallDisplay& display);

// Reads the site name from the service descriptor, lays out the base and site folders,
// writes the host's registry values, downloads the update agent there and runs it.
StepOutcome RunQLUpdate(const ServiceAddress& service, InstallDisplay& display);

// Sizes the progress bar from the size query, drops the cached copy and downloads the file
// published at path with the direct download, over either scheme. A body short of the length
// its own answer announced is a failed download, traced in the download's own scope.
HRESULT FetchPublishedFile(FuncTrace& scope, const ServiceAddress& service,
                           const std::wstring& path, const std::wstring& localPath,
                           URLDownCallBack* callback, InstallDisplay& display);
