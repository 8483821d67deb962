#include "sys/lazy_api.h"

#include <objbase.h>
#include <shlobj.h>
#include <string>

namespace {

// Loaded from the system folder only, never from the folder the setup program was started
// from, and so are the DLLs it depends on. A system without the search flags (Windows 7 before
// KB2533623) refuses the flag; there the DLL itself is still taken by its full path. The module
// stays loaded for the rest of the process: the resolved pointers point into it.
HMODULE LoadSystemLibrary(const wchar_t* name) {
    HMODULE module = LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) return module;
    wchar_t folder[MAX_PATH] = {};
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return nullptr;
    std::wstring path(folder, length);
    path += L'\\';
    path += name;
    return LoadLibraryW(path.c_str());
}

HMODULE Version() {
    static const HMODULE module = LoadSystemLibrary(L"version.dll");
    return module;
}

HMODULE NetApi32() {
    static const HMODULE module = LoadSystemLibrary(L"netapi32.dll");
    return module;
}

HMODULE Shell32() {
    static const HMODULE module = LoadSystemLibrary(L"shell32.dll");
    return module;
}

HMODULE Ole32() {
    static const HMODULE module = LoadSystemLibrary(L"ole32.dll");
    return module;
}

HMODULE WinInet() {
    static const HMODULE module = LoadSystemLibrary(L"wininet.dll");
    return module;
}

HMODULE WinTrust() {
    static const HMODULE module = LoadSystemLibrary(L"wintrust.dll");
    return module;
}

// The typed address of an export, or null when the module or the export is missing. Each
// caller keeps the answer in a function-local static, which the language initialises once
// even when the interface thread and the installation worker get there together.
template <typename Function>
Function Resolve(HMODULE module, const char* name) {
    if (module == nullptr) return nullptr;
    FARPROC proc = GetProcAddress(module, name);
    return reinterpret_cast<Function>(reinterpret_cast<void*>(proc));
}

BOOL FailBool() {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
}

HINTERNET FailHandle() {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

const HRESULT kMissingFunction = HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);

}  // namespace

namespace LazyApi {

DWORD GetFileVersionInfoSizeW(LPCWSTR fileName, LPDWORD handle) {
    static const auto function =
        Resolve<decltype(&::GetFileVersionInfoSizeW)>(Version(), "GetFileVersionInfoSizeW");
    if (function == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return 0;
    }
    return function(fileName, handle);
}

BOOL GetFileVersionInfoW(LPCWSTR fileName, DWORD handle, DWORD length, LPVOID data) {
    static const auto function =
        Resolve<decltype(&::GetFileVersionInfoW)>(Version(), "GetFileVersionInfoW");
    if (function == nullptr) return FailBool();
    return function(fileName, handle, length, data);
}

BOOL VerQueryValueW(LPCVOID block, LPCWSTR subBlock, LPVOID* buffer, PUINT length) {
    static const auto function = Resolve<decltype(&::VerQueryValueW)>(Version(), "VerQueryValueW");
    if (function == nullptr) return FailBool();
    return function(block, subBlock, buffer, length);
}

NET_API_STATUS NetWkstaGetInfo(LMSTR serverName, DWORD level, LPBYTE* buffer) {
    static const auto function =
        Resolve<decltype(&::NetWkstaGetInfo)>(NetApi32(), "NetWkstaGetInfo");
    if (function == nullptr) return ERROR_PROC_NOT_FOUND;
    return function(serverName, level, buffer);
}

NET_API_STATUS NetApiBufferFree(LPVOID buffer) {
    static const auto function =
        Resolve<decltype(&::NetApiBufferFree)>(NetApi32(), "NetApiBufferFree");
    if (function == nullptr) return ERROR_PROC_NOT_FOUND;
    return function(buffer);
}

BOOL SHGetSpecialFolderPathW(HWND owner, LPWSTR path, int folder, BOOL create) {
    static const auto function =
        Resolve<decltype(&::SHGetSpecialFolderPathW)>(Shell32(), "SHGetSpecialFolderPathW");
    if (function == nullptr) return FailBool();
    return function(owner, path, folder, create);
}

HRESULT CoInitializeEx(LPVOID reserved, DWORD coInit) {
    static const auto function = Resolve<decltype(&::CoInitializeEx)>(Ole32(), "CoInitializeEx");
    if (function == nullptr) return kMissingFunction;
    return function(reserved, coInit);
}

void CoUninitialize() {
    static const auto function = Resolve<decltype(&::CoUninitialize)>(Ole32(), "CoUninitialize");
    if (function != nullptr) function();
}

BOOL InternetCheckConnectionW(LPCWSTR url, DWORD flags, DWORD reserved) {
    static const auto function =
        Resolve<decltype(&::InternetCheckConnectionW)>(WinInet(), "InternetCheckConnectionW");
    if (function == nullptr) return FailBool();
    return function(url, flags, reserved);
}

HINTERNET InternetOpenW(LPCWSTR agent, DWORD accessType, LPCWSTR proxy, LPCWSTR proxyBypass,
                        DWORD flags) {
    static const auto function = Resolve<decltype(&::InternetOpenW)>(WinInet(), "InternetOpenW");
    if (function == nullptr) return FailHandle();
    return function(agent, accessType, proxy, proxyBypass, flags);
}

BOOL InternetCrackUrlW(LPCWSTR url, DWORD length, DWORD flags, LPURL_COMPONENTSW components) {
    static const auto function =
        Resolve<decltype(&::InternetCrackUrlW)>(WinInet(), "InternetCrackUrlW");
    if (function == nullptr) return FailBool();
    return function(url, length, flags, components);
}

HINTERNET InternetConnectW(HINTERNET session, LPCWSTR serverName, INTERNET_PORT serverPort,
                           LPCWSTR userName, LPCWSTR password, DWORD service, DWORD flags,
                           DWORD_PTR context) {
    static const auto function =
        Resolve<decltype(&::InternetConnectW)>(WinInet(), "InternetConnectW");
    if (function == nullptr) return FailHandle();
    return function(session, serverName, serverPort, userName, password, service, flags, context);
}

HINTERNET HttpOpenRequestW(HINTERNET connection, LPCWSTR verb, LPCWSTR objectName, LPCWSTR version,
                           LPCWSTR referrer, LPCWSTR* acceptTypes, DWORD flags, DWORD_PTR context) {
    static const auto function =
        Resolve<decltype(&::HttpOpenRequestW)>(WinInet(), "HttpOpenRequestW");
    if (function == nullptr) return FailHandle();
    return function(connection, verb, objectName, version, referrer, acceptTypes, flags, context);
}

BOOL HttpSendRequestW(HINTERNET request, LPCWSTR headers, DWORD headersLength, LPVOID optional,
                      DWORD optionalLength) {
    static const auto function =
        Resolve<decltype(&::HttpSendRequestW)>(WinInet(), "HttpSendRequestW");
    if (function == nullptr) return FailBool();
    return function(request, headers, headersLength, optional, optionalLength);
}

BOOL InternetSetOptionW(HINTERNET handle, DWORD option, LPVOID buffer, DWORD bufferLength) {
    static const auto function =
        Resolve<decltype(&::InternetSetOptionW)>(WinInet(), "InternetSetOptionW");
    if (function == nullptr) return FailBool();
    return function(handle, option, buffer, bufferLength);
}

BOOL InternetQueryDataAvailable(HINTERNET file, LPDWORD available, DWORD flags, DWORD_PTR context) {
    static const auto function =
        Resolve<decltype(&::InternetQueryDataAvailable)>(WinInet(), "InternetQueryDataAvailable");
    if (function == nullptr) return FailBool();
    return function(file, available, flags, context);
}

BOOL InternetReadFile(HINTERNET file, LPVOID buffer, DWORD toRead, LPDWORD read) {
    static const auto function =
        Resolve<decltype(&::InternetReadFile)>(WinInet(), "InternetReadFile");
    if (function == nullptr) return FailBool();
    return function(file, buffer, toRead, read);
}

BOOL HttpQueryInfoW(HINTERNET request, DWORD infoLevel, LPVOID buffer, LPDWORD bufferLength,
                    LPDWORD index) {
    static const auto function = Resolve<decltype(&::HttpQueryInfoW)>(WinInet(), "HttpQueryInfoW");
    if (function == nullptr) return FailBool();
    return function(request, infoLevel, buffer, bufferLength, index);
}

BOOL InternetCloseHandle(HINTERNET handle) {
    static const auto function =
        Resolve<decltype(&::InternetCloseHandle)>(WinInet(), "InternetCloseHandle");
    if (function == nullptr) return FailBool();
    return function(handle);
}

BOOL DeleteUrlCacheEntryW(LPCWSTR url) {
    static const auto function =
        Resolve<decltype(&::DeleteUrlCacheEntryW)>(WinInet(), "DeleteUrlCacheEntryW");
    if (function == nullptr) return FailBool();
    return function(url);
}

LONG WinVerifyTrust(HWND window, GUID* action, LPVOID data) {
    static const auto function = Resolve<decltype(&::WinVerifyTrust)>(WinTrust(), "WinVerifyTrust");
    if (function == nullptr) return static_cast<LONG>(kMissingFunction);
    return function(window, action, data);
}

CRYPT_PROVIDER_DATA* WTHelperProvDataFromStateData(HANDLE stateData) {
    static const auto function = Resolve<decltype(&::WTHelperProvDataFromStateData)>(
        WinTrust(), "WTHelperProvDataFromStateData");
    if (function == nullptr) return nullptr;
    return function(stateData);
}

CRYPT_PROVIDER_SGNR* WTHelperGetProvSignerFromChain(CRYPT_PROVIDER_DATA* providerData,
                                                    DWORD signerIndex, BOOL counterSigner,
                                                    DWORD counterSignerIndex) {
    static const auto function = Resolve<decltype(&::WTHelperGetProvSignerFromChain)>(
        WinTrust(), "WTHelperGetProvSignerFromChain");
    if (function == nullptr) return nullptr;
    return function(providerData, signerIndex, counterSigner, counterSignerIndex);
}

}  // namespace LazyApi
