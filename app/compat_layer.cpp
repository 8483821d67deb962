#include "app/velmora_setup_app.h"

#include <string>

#include "log/func_trace.h"
#include "log/trace_log.h"
#include "sys/module_info.h"
#include "sys/reg_key.h"

namespace {

const wchar_t kLayersKey[] =
    L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";
const wchar_t kCompatLayer[] = L"WINXPSP2";
constexpr REGSAM kLayersAccess = KEY_READ | KEY_WRITE;

}  // namespace

bool CVelmora_SetupApp::WriteRegcompatibility() {
    FuncTrace scope("CVelmora_SetupApp::WriteRegcompatibility");
    std::wstring programPath = GetModulePath();

    RegKey regKey;
    LONG result = regKey.Open(HKEY_CURRENT_USER, kLayersKey, kLayersAccess);
    if (result != ERROR_SUCCESS) {
        TraceMsg(scope, "regKey.Open fail_(funcRet: 0x%x)", static_cast<unsigned>(result));
        result = regKey.Create(HKEY_CURRENT_USER, kLayersKey, kLayersAccess);
        if (result != ERROR_SUCCESS) {
            TraceMsg(scope, "regKey.Create fail_(funcRet: 0x%x)", static_cast<unsigned>(result));
            return false;
        }
        TraceMsg(scope, "regKey.Create success.");
    }

    result = regKey.WriteString(programPath, kCompatLayer);
    if (result != ERROR_SUCCESS) {
        TraceMsg(scope, "regKey.SetStringValue fail_(funcRet: %x)", static_cast<unsigned>(result));
        return false;
    }
    return true;
}
