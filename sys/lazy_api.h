#pragma once

#include <windows.h>
#include <shellapi.h>
#include <urlmon.h>
#include <wininet.h>

// The system calls that only the pages after the address page make, resolved from their DLLs
// on first use, so that start-up loads none of those DLLs. Each has the platform function's
// signature; where the DLL or the function is missing, the call fails as the platform call
// would (FALSE or null with ERROR_PROC_NOT_FOUND, or the matching HRESULT), so the callers'
// failure paths apply.
namespace LazyApi {

// urlmon.dll
HRESULT URLDownloadToFileW(LPUNKNOWN caller, LPCWSTR url, LPCWSTR fileName, DWORD reserved,
                           LPBINDSTATUSCALLBACK callback);

// shell32.dll
BOOL ShellExecuteExW(SHELLEXECUTEINFOW* info);
BOOL SHGetSpecialFolderPathW(HWND owner, LPWSTR path, int folder, BOOL create);

// ole32.dll
HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
void CoUninitialize();

// wininet.dll
BOOL InternetCheckConnectionW(LPCWSTR url, DWORD flags, DWORD reserved);
HINTERNET InternetOpenW(LPCWSTR agent, DWORD accessType, LPCWSTR proxy, LPCWSTR proxyBypass,
                        DWORD flags);
HINTERNET InternetOpenUrlW(HINTERNET session, LPCWSTR url, LPCWSTR headers, DWORD headersLength,
                           DWORD flags, DWORD_PTR context);
BOOL InternetReadFile(HINTERNET file, LPVOID buffer, DWORD toRead, LPDWORD read);
BOOL HttpQueryInfoW(HINTERNET request, DWORD infoLevel, LPVOID buffer, LPDWORD bufferLength,
                    LPDWORD index);
BOOL InternetCloseHandle(HINTERNET handle);
BOOL DeleteUrlCacheEntryW(LPCWSTR url);

}  // namespace LazyApi
