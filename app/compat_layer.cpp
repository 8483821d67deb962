#include "app/velmora_setup_app.h"

#include <string>

#include "log/func_trace.h"
#include "log/trace_log.h"
#include "sys/module_info.h"
#include "sys/scoped_handle.h"

namespace {

const wchar_t kLayersKey[] =
    L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";
const wchar_t kCompatLayer[] = L"WINXPSP2";
constexpr REGSAM kLayersAccess = KEY_READ | KEY_WRITE;

}  // namespace

bool CVelmora_SetupApp::WriteRegcompatibility() {
    FuncTrace scope("CVelmora_SetupApp::WriteRegcompatibility");
    std::wstring programPath = GetModulePath();

    ScopedRegKey regKey;
    LONG result = RegOpenKeyExW(HKEY_CURRENT_USER, kLayersKey, 0, kLayersAccess, regKey.Receive());
    if (result != ERROR_SUCCESS) {
        TraceMsg(scope, "regKey.Open fail_(funcRet: 0x%x)", static_cast<unsigned>(result));
        result = RegCreateKeyExW(HKEY_CURRENT_USER, kLayersKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                 kLayersAccess, nullptr, regKey.Receive(), nullptr);
        if (result != ERROR_SUCCESS) {
            TraceMsg(scope, "regKey.Create fail_(funcRet: 0x%x)", static_cast<unsigned>(result));
            return false;
        }
        TraceMsg(scope, "regKey.Create success.");
    }

    result = RegSetValueExW(regKey.Get(), programPath.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(kCompatLayer), sizeof(kCompatLayer));
    if (result != ERROR_SUCCESS) {
        TraceMsg(scope, "regKey.SetStringValue fail_(funcRet: %x)", static_cast<unsigned>(result));
        return false;
    }
    return true;
}
