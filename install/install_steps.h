#pragma once

#include <windows.h>
#include <string>

#include "install/publisher_pins.h"
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

// The two installation steps, as functions of the service address, the publisher pins the
// programs they start must match (none: any whole program runs) and of what they show.

// Downloads the launcher-control installer into a folder of its own (up to five attempts),
// runs it ("/verysilent" when automatic), waits for it and deletes it. With a pin, a download
// that fails the publisher check is a failed attempt, and is never started.
StepOutcome InstallActiveX(const ServiceAddress& service, bool automatic, const PublisherPins& pins,
                           InstallDisplay& display);

// Reads the site name from the service descriptor, lays out the base and site folders,
// writes the host's registry values, downloads the update agent there and runs it. With a
// pin, an agent that fails the publisher check is neither placed nor started.
StepOutcome RunQLUpdate(const ServiceAddress& service, const PublisherPins& pins,
                        InstallDisplay& display);

// Sizes the progress bar from the size query, drops the cached copy and downloads the file
// published at path with the direct download, over either scheme. A body short of the length
// its own answer announced is a failed download, traced in the download's own scope. Given a
// held folder, the download creates its file there by fileName, through the folder's handle;
// localPath must then name that same file.
HRESULT FetchPublishedFile(FuncTrace& scope, const ServiceAddress& service,
                           const std::wstring& path, const std::wstring& localPath,
                           URLDownCallBack* callback, InstallDisplay& display,
                           HANDLE folder = nullptr, const wchar_t* fileName = nullptr);
