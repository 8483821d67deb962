#pragma once

#include <windows.h>
#include <lm.h>
#include <objbase.h>
#include <shlobj.h>
#include <wininet.h>
#include <wintrust.h>

#include "sys/system_function.h"

// The system calls from DLLs that are not KnownDLLs, and those that only the pages after the
// address page make, looked up on first use in DLLs loaded from the system folder: the loader
// would otherwise look for an imported DLL of that kind in the program's folder first. Each is
// called with the platform function's signature; where the DLL or the function is missing, the
// call fails as the platform call would (FALSE, 0 or null, the matching HRESULT or status, each
// with ERROR_PROC_NOT_FOUND), so the callers' failure paths apply.

// What a call gives back when its function is missing.
template <typename Result>
struct MissingResult {
    Result value;
    Result Get() const { return value; }
};

template <>
struct MissingResult<void> {
    void Get() const {}
};

template <typename Function>
class LazyFunction;

template <typename Result, typename... Args>
class LazyFunction<Result(WINAPI*)(Args...)> {
  public:
    constexpr LazyFunction(SystemDll dll, const char* name, MissingResult<Result> missing)
        : m_function(dll, name), m_missing(missing) {}

    Result operator()(Args... args) const {
        auto function = m_function.Get();
        if (function != nullptr) return function(args...);
        SetLastError(ERROR_PROC_NOT_FOUND);
        return m_missing.Get();
    }

  private:
    SystemFunction<Result(WINAPI*)(Args...)> m_function;
    MissingResult<Result> m_missing;
};

namespace LazyApi {

constexpr HRESULT kMissingFunction =
    MAKE_HRESULT(SEVERITY_ERROR, FACILITY_WIN32, ERROR_PROC_NOT_FOUND);

// version.dll
inline const LazyFunction<decltype(&::GetFileVersionInfoSizeW)> GetFileVersionInfoSizeW{
    SystemDll::Version, "GetFileVersionInfoSizeW", {0}};
inline const LazyFunction<decltype(&::GetFileVersionInfoW)> GetFileVersionInfoW{
    SystemDll::Version, "GetFileVersionInfoW", {FALSE}};
inline const LazyFunction<decltype(&::VerQueryValueW)> VerQueryValueW{
    SystemDll::Version, "VerQueryValueW", {FALSE}};

// netapi32.dll
inline const LazyFunction<decltype(&::NetWkstaGetInfo)> NetWkstaGetInfo{
    SystemDll::NetApi32, "NetWkstaGetInfo", {ERROR_PROC_NOT_FOUND}};
inline const LazyFunction<decltype(&::NetApiBufferFree)> NetApiBufferFree{
    SystemDll::NetApi32, "NetApiBufferFree", {ERROR_PROC_NOT_FOUND}};

// shell32.dll
inline const LazyFunction<decltype(&::SHGetSpecialFolderPathW)> SHGetSpecialFolderPathW{
    SystemDll::Shell32, "SHGetSpecialFolderPathW", {FALSE}};

// ole32.dll
inline const LazyFunction<decltype(&::CoInitializeEx)> CoInitializeEx{
    SystemDll::Ole32, "CoInitializeEx", {kMissingFunction}};
inline const LazyFunction<decltype(&::CoUninitialize)> CoUninitialize{
    SystemDll::Ole32, "CoUninitialize", {}};

// wininet.dll
inline const LazyFunction<decltype(&::InternetCheckConnectionW)> InternetCheckConnectionW{
    SystemDll::WinInet, "InternetCheckConnectionW", {FALSE}};
inline const LazyFunction<decltype(&::InternetOpenW)> InternetOpenW{
    SystemDll::WinInet, "InternetOpenW", {nullptr}};
inline const LazyFunction<decltype(&::InternetCrackUrlW)> InternetCrackUrlW{
    SystemDll::WinInet, "InternetCrackUrlW", {FALSE}};
inline const LazyFunction<decltype(&::InternetConnectW)> InternetConnectW{
    SystemDll::WinInet, "InternetConnectW", {nullptr}};
inline const LazyFunction<decltype(&::HttpOpenRequestW)> HttpOpenRequestW{
    SystemDll::WinInet, "HttpOpenRequestW", {nullptr}};
inline const LazyFunction<decltype(&::HttpSendRequestW)> HttpSendRequestW{
    SystemDll::WinInet, "HttpSendRequestW", {FALSE}};
inline const LazyFunction<decltype(&::InternetSetOptionW)> InternetSetOptionW{
    SystemDll::WinInet, "InternetSetOptionW", {FALSE}};
inline const LazyFunction<decltype(&::InternetQueryDataAvailable)> InternetQueryDataAvailable{
    SystemDll::WinInet, "InternetQueryDataAvailable", {FALSE}};
inline const LazyFunction<decltype(&::InternetReadFile)> InternetReadFile{
    SystemDll::WinInet, "InternetReadFile", {FALSE}};
inline const LazyFunction<decltype(&::HttpQueryInfoW)> HttpQueryInfoW{
    SystemDll::WinInet, "HttpQueryInfoW", {FALSE}};
inline const LazyFunction<decltype(&::InternetCloseHandle)> InternetCloseHandle{
    SystemDll::WinInet, "InternetCloseHandle", {FALSE}};
inline const LazyFunction<decltype(&::DeleteUrlCacheEntryW)> DeleteUrlCacheEntryW{
    SystemDll::WinInet, "DeleteUrlCacheEntryW", {FALSE}};

// wintrust.dll
inline const LazyFunction<decltype(&::WinVerifyTrust)> WinVerifyTrust{
    SystemDll::WinTrust, "WinVerifyTrust", {kMissingFunction}};
inline const LazyFunction<decltype(&::WTHelperProvDataFromStateData)> WTHelperProvDataFromStateData{
    SystemDll::WinTrust, "WTHelperProvDataFromStateData", {nullptr}};
inline const LazyFunction<decltype(&::WTHelperGetProvSignerFromChain)>
    WTHelperGetProvSignerFromChain{
        SystemDll::WinTrust, "WTHelperGetProvSignerFromChain", {nullptr}};

}  // namespace LazyApi
