#include "app/preset_address.h"

#include <windows.h>
#include <cwchar>

#include "app/module_name_address.h"
#include "app/stamped_url.h"
#include "sys/module_info.h"

namespace {

constexpr DWORD kSettingsUnits = 260;

// Passed through the thread's ANSI code page and back, so that the address the program works
// with is the one the rest of its narrow trace shows. A stamp that fills the whole buffer
// without a NUL is read no further than the buffer.
std::wstring ReadStampedAddress() {
    int units = static_cast<int>(wcsnlen(g_szStampedURL, kStampedURLUnits));
    if (units == 0) return std::wstring();
    int narrowSize =
        WideCharToMultiByte(CP_THREAD_ACP, 0, g_szStampedURL, units, nullptr, 0, nullptr, nullptr);
    if (narrowSize <= 0) return std::wstring();
    std::string narrow(static_cast<size_t>(narrowSize), '\0');
    WideCharToMultiByte(CP_THREAD_ACP, 0, g_szStampedURL, units, &narrow[0], narrowSize, nullptr,
                        nullptr);
    int wideSize = MultiByteToWideChar(CP_THREAD_ACP, 0, narrow.data(), narrowSize, nullptr, 0);
    if (wideSize <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(wideSize), L'\0');
    MultiByteToWideChar(CP_THREAD_ACP, 0, narrow.data(), narrowSize, &wide[0], wideSize);
    return wide;
}

std::wstring ReadSettingsAddress() {
    std::wstring settingsPath = GetModuleDir() + L"\\Velmora_Setup.ini";
    wchar_t value[kSettingsUnits] = {};
    GetPrivateProfileStringW(L"updateurl", L"url", L"", value, kSettingsUnits,
                             settingsPath.c_str());
    return std::wstring(value);
}

}  // namespace

PresetAddress LoadPresetAddress(const std::wstring& moduleName) {
    PresetAddress preset;
    preset.text = ReadStampedAddress();
    if (!preset.text.empty()) {
        preset.automatic = true;
        return preset;
    }
    preset.text = ReadSettingsAddress();
    if (!preset.text.empty()) return preset;
    if (ParseModuleNameAddress(moduleName, preset.text, preset.https)) {
        preset.automatic = true;
    } else {
        preset.text.clear();
        preset.https = 0;
    }
    return preset;
}
