#include "sys/os_version.h"

#include <lm.h>
#include <atomic>

#include "sys/lazy_api.h"
#include "sys/os_version_test_hook.h"
#include "sys/scoped_handle.h"
#include "sys/system_function.h"

namespace {

// Filled only from the workstation service. The minor number is stored before the major one,
// and readers look at the major one first, so a reader that sees a major number also sees the
// minor number that belongs to it.
std::atomic<DWORD> g_osMajorCache{0};
std::atomic<DWORD> g_osMinorCache{0};

bool AskWorkstationService(DWORD& major, DWORD& minor) {
    LPBYTE raw = nullptr;
    if (LazyApi::NetWkstaGetInfo(nullptr, 100, &raw) != NERR_Success) return false;
    ScopedNetApiBuffer buffer(raw);
    const WKSTA_INFO_100* info = reinterpret_cast<const WKSTA_INFO_100*>(raw);
    if (info == nullptr) return false;
    major = info->wki100_ver_major;
    minor = info->wki100_ver_minor;
    return true;
}

const SystemFunction<LONG(WINAPI*)(PRTL_OSVERSIONINFOW)> g_rtlGetVersion(SystemDll::NtDll,
                                                                         "RtlGetVersion");

bool AskNtDll(RTL_OSVERSIONINFOW& info) {
    auto rtlGetVersion = g_rtlGetVersion.Get();
    if (rtlGetVersion == nullptr) return false;
    rtlGetVersion(&info);
    return true;
}

bool AskVersionFunctions(OSVERSIONINFOEXW& info) {
#ifdef _MSC_VER
#pragma warning(suppress : 4996)
#endif
    return GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info)) != FALSE;
}

const OsVersionPlatform kPlatform = {AskWorkstationService, AskNtDll, AskVersionFunctions};

void ForgetCachedVersion() {
    g_osMajorCache.store(0, std::memory_order_release);
    g_osMinorCache.store(0, std::memory_order_relaxed);
}

bool ReadCachedVersion(DWORD& major, DWORD& minor) {
    DWORD cachedMajor = g_osMajorCache.load(std::memory_order_acquire);
    if (cachedMajor == 0) return false;
    major = cachedMajor;
    minor = g_osMinorCache.load(std::memory_order_relaxed);
    return true;
}

bool QueryWorkstationVersion(DWORD& major, DWORD& minor) {
    DWORD serviceMajor = 0;
    DWORD serviceMinor = 0;
    if (!g_osVersionPlatform.Get()->workstation(serviceMajor, serviceMinor)) return false;
    g_osMinorCache.store(serviceMinor, std::memory_order_relaxed);
    g_osMajorCache.store(serviceMajor, std::memory_order_release);
    return ReadCachedVersion(major, minor);
}

// The native call answers with the true version even where the version functions are told
// to report an older one.
bool QueryNativeVersion(DWORD& major, DWORD& minor) {
    RTL_OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!g_osVersionPlatform.Get()->native(info) || info.dwMajorVersion == 0) return false;
    major = info.dwMajorVersion;
    minor = info.dwMinorVersion;
    return true;
}

void QueryVersionFunctions(DWORD& major, DWORD& minor) {
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    if (g_osVersionPlatform.Get()->versionFunctions(info) &&
        info.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        major = info.dwMajorVersion;
        minor = info.dwMinorVersion;
    }
}

// The version functions may report less than the system is; asking the system whether it is
// at least the next version finds the real one as far as it lets itself be asked.
void ProbeVersionUpwards(DWORD& major, DWORD& minor) {
    while (IsOSVersionAtLeast(major + 1, 0)) {
        ++major;
        minor = 0;
    }
    while (IsOSVersionAtLeast(major, minor + 1)) ++minor;
}

}  // namespace

TestSeam<const OsVersionPlatform*> g_osVersionPlatform{&kPlatform, ForgetCachedVersion};

bool IsOSVersionAtLeast(DWORD major, DWORD minor) {
    OSVERSIONINFOEXW info = {};
    info.dwOSVersionInfoSize = sizeof(info);
    info.dwMajorVersion = major;
    info.dwMinorVersion = minor;
    info.dwPlatformId = VER_PLATFORM_WIN32_NT;
    DWORDLONG mask = 0;
    mask = VerSetConditionMask(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
    mask = VerSetConditionMask(mask, VER_PLATFORMID, VER_EQUAL);
    return VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION | VER_PLATFORMID, mask) !=
           FALSE;
}

bool GetOSVersion(DWORD& major, DWORD& minor) {
    major = 0;
    minor = 0;
    if (ReadCachedVersion(major, minor)) return true;
    if (QueryWorkstationVersion(major, minor)) return true;
    if (QueryNativeVersion(major, minor)) return true;
    QueryVersionFunctions(major, minor);
    ProbeVersionUpwards(major, minor);
    return major != 0;
}
