#include "app/preset_address.h"

#include <windows.h>
#include <cwchar>

#include "app/module_name_address.h"
#include "app/stamped_url.h"
#include "sys/module_info.h"
#include "sys/text_convert.h"

namespace {

constexpr DWORD kSettingsUnits = 260;

// Passed through the thread's ANSI code page and back, so that the address the program works
// with is the one the rest of its narrow trace shows. A stamp that fills the whole buffer
// without a NUL is read no further than the buffer.
std::wstring ReadStampedAddress() {
    size_t units = wcsnlen(g_szStampedURL, kStampedURLUnits);
    return CodePageToWide(CP_THREAD_ACP, WideToCodePage(CP_THREAD_ACP, g_szStampedURL, units));
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
