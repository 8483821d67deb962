#pragma once

#include <windows.h>
#include <string>

#include "install/service_address.h"

class FuncTrace;
class InstallDisplay;
class PrivateFolder;
class URLDownCallBack;

// Each installation step saves its downloads in a folder of its own below the machine's
// temporary folder (install/install_paths.h, sys/private_folder.h), as the installer engines
// that run elevated keep their working files: never below the user's temporary folder, whose
// path the user sets and may lead through a junction of theirs, and never under a name that
// stood there before.

// The start of the folder's name.
constexpr wchar_t kDownloadFolderPrefix[] = L"VelmoraSetup";

// Makes the folder; logs "TempDir create fail___" when none can be made.
bool MakeDownloadFolder(FuncTrace& scope, PrivateFolder& folder);

// FetchPublishedFile (install/install_steps.h) into the file fileName inside folder, created
// through the folder's handle, only while the folder is still the one it made; E_ACCESSDENIED
// otherwise.
HRESULT FetchIntoFolder(FuncTrace& scope, const PrivateFolder& folder,
                        const ServiceAddress& service, const std::wstring& path,
                        const wchar_t* fileName, URLDownCallBack* callback,
                        InstallDisplay& display);
