#pragma once

#include <windows.h>
#include <wininet.h>
#include <string>

#include "install/service_address.h"

class FuncTrace;
class InstallDisplay;
class PrivateFolder;
class URLDownCallBack;

// One download of a published file, end to end: the size query that scales the progress bar,
// the cached copy dropped, and the body fetched through WinINet (install/internet_session.h),
// the one engine for http and https, into a file created inside a folder of the step's own.

// Result of an open that yields no HTTP request object (an ftp or file URL, for example).
constexpr HRESULT kDownloadNoRequest = static_cast<HRESULT>(0x80000961u);
// Result of a download that received nothing for the quiet period.
constexpr HRESULT kDownloadTimedOut = static_cast<HRESULT>(0x80000000u | ERROR_INTERNET_TIMEOUT);
// Result of a body that ended before the length its response announced.
constexpr HRESULT kDownloadIncomplete = static_cast<HRESULT>(0x80000000u | ERROR_HANDLE_EOF);

// Each installation step saves its downloads in a folder of its own below the machine's
// temporary folder (install/install_paths.h, sys/private_folder.h), as the installer engines
// that run elevated keep their working files: never below the user's temporary folder, whose
// path the user sets and may lead through a junction of theirs, and never under a name that
// stood there before.

// The start of the folder's name.
constexpr wchar_t kDownloadFolderPrefix[] = L"VelmoraSetup";

// Makes the folder; logs "TempDir create fail___" when none can be made.
bool MakeDownloadFolder(FuncTrace& scope, PrivateFolder& folder);

// FetchPublishedFile into the file fileName inside folder, created through the folder's
// handle, only while the folder is still the one it made; E_ACCESSDENIED otherwise.
HRESULT FetchIntoFolder(FuncTrace& scope, const PrivateFolder& folder,
                        const ServiceAddress& service, const std::wstring& path,
                        const wchar_t* fileName, URLDownCallBack* callback,
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

// The size of a published file as the server announces it in its Content-Length, so that the
// progress bar can get its range; -1 on every failure. https is the address's scheme, which
// decides whether a certificate for another host name is accepted.
int GetWebFileSize(const wchar_t* url, bool https);

// Downloads an http or https url into localPath through WinINet; takes what URLDownloadToFileW
// takes and reports progress to the same callback (which may be null): a data report with the
// running total after every arrival written, and an end report with the total once the file is
// closed. 0 for a finished download, a negative result for a failed one: kDownloadTimedOut when
// nothing arrived for the quiet period, the platform's or the system's error otherwise.
HRESULT URLDownloadToFileOnHttps(const wchar_t* url, const wchar_t* localPath,
                                 URLDownCallBack* callback);

// The same into the file fileName inside folder, a folder the caller holds open: the file is
// created anew through the folder's handle, never through a path.
HRESULT URLDownloadToFileOnHttps(const wchar_t* url, HANDLE folder, const wchar_t* fileName,
                                 URLDownCallBack* callback);
