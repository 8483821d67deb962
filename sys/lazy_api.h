#pragma once

#include <windows.h>
#include <lm.h>
#include <wininet.h>
#include <wintrust.h>

// The system calls from DLLs that are not KnownDLLs, and those that only the pages after the
// address page make, resolved on first use from DLLs loaded by their full path in the system
// folder: the loader would otherwise look for an imported DLL of that kind in the program's
// folder first. Each has the platform function's signature; where the DLL or the function is
// missing, the call fails as the platform call would (FALSE, 0 or null with
// ERROR_PROC_NOT_FOUND, or the matching HRESULT or status), so the callers' failure paths apply.
namespace LazyApi {

// version.dll
DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle);
BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD handle, DWORD length, LPVOID data);
BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length);

// netapi32.dll
NET_API_STATUS NetWkstaGetInfo(LMSTR serverName, DWORD level, LPBYTE* buffer);
NET_API_STATUS NetApiBufferFree(LPVOID buffer);

// shell32.dll
BOOL SHGetSpecialFolderPathW(HWND owner, LPWSTR path, int folder, BOOL create);

// ole32.dll
HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit);
void CoUninitialize();

// wininet.dll
BOOL InternetCheckConnectionW(LPCWSTR url, DWORD flags, DWORD reserved);
HINTERNET InternetOpenW(LPCWSTR agent, DWORD accessType, LPCWSTR proxy, LPCWSTR proxyBypass,
                        DWORD flags);
BOOL InternetCrackUrlW(LPCWSTR url, DWORD length, DWORD flags, LPURL_COMPONENTSW components);
HINTERNET InternetConnectW(HINTERNET session, LPCWSTR serverName, INTERNET_PORT serverPort,
                           LPCWSTR userName, LPCWSTR password, DWORD service, DWORD flags,
                           DWORD_PTR context);
HINTERNET HttpOpenRequestW(HINTERNET connection, LPCWSTR verb, LPCWSTR objectName, LPCWSTR version,
                           LPCWSTR referrer, LPCWSTR* acceptTypes, DWORD flags, DWORD_PTR context);
BOOL HttpSendRequestW(HINTERNET request, LPCWSTR headers, DWORD headersLength, LPVOID optional,
                      DWORD optionalLength);
BOOL InternetSetOptionW(HINTERNET handle, DWORD option, LPVOID buffer, DWORD bufferLength);
BOOL InternetQueryDataAvailable(HINTERNET file, LPDWORD available, DWORD flags, DWORD_PTR context);
BOOL InternetReadFile(HINTERNET file, LPVOID buffer, DWORD toRead, LPDWORD read);
BOOL HttpQueryInfoW(HINTERNET request, DWORD infoLevel, LPVOID buffer, LPDWORD bufferLength,
                    LPDWORD index);
BOOL InternetCloseHandle(HINTERNET handle);
BOOL DeleteUrlCacheEntryW(LPCWSTR url);

// wintrust.dll
LONG WinVerifyTrust(HWND window, GUID* action, LPVOID data);
CRYPT_PROVIDER_DATA* WTHelperProvDataFromStateData(HANDLE stateData);
CRYPT_PROVIDER_SGNR* WTHelperGetProvSignerFromChain(CRYPT_PROVIDER_DATA* providerData,
                                                    DWORD signerIndex, BOOL counterSigner,
                                                    DWORD counterSignerIndex);

}  // namespace LazyApi
