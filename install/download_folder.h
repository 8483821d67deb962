#pragma once

#include <windows.h>
#include <string>

#include "install/service_address.h"

class FuncTrace;
class InstallDisplay;
class PrivateFolder;
class URLDownCallBack;

// Each installation step saves its downloads in a folder of its own below the user's temporary
// folder (sys/private_folder.h), never under a name that already stood there: the temporary
// folder and everything in it belong to the user.

// The start of the folder's name.
constexpr wchar_t kDownloadFolderPrefix[] = L"VelmoraSetup";

// Makes the folder; logs "TempDir create fail___" when none can be made.
bool MakeDownloadFolder(FuncTrace& scope, PrivateFolder& folder);

// FetchPublishedFile (install/install_steps.h) into localPath inside folder, only while the
// folder is still the one it made; E_ACCESSDENIED otherwise.
HRESULT FetchIntoFolder(FuncTrace& scope, const PrivateFolder& folder,
                        const ServiceAddress& service, const std::wstring& path,
                        const std::wstring& localPath, URLDownCallBack* callback,
                        InstallDisplay& display);
