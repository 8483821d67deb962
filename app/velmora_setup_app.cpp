#include "app/velmora_setup_app.h"

#include <commctrl.h>
#include <string>

#include "log/func_trace.h"
#include "log/trace_config.h"
#include "log/trace_log.h"
#include "sys/module_info.h"
#include "ui/setup_dlg.h"

CVelmora_SetupApp theApp;

namespace {

// The file name without its extension; empty when the name has no full stop.
std::wstring ModuleNameWithoutExtension(const std::wstring& path) {
    std::wstring name = NameOfPath(path);
    size_t dot = name.rfind(L'.');
    return dot == std::wstring::npos ? std::wstring() : name.substr(0, dot);
}

}  // namespace

BOOL CVelmora_SetupApp::InitInstance() {
    InitTraceLog();
    FuncTrace scope("CVelmora_SetupApp::InitInstance");

    std::wstring modulePath = GetModulePath();
    TraceMsg(scope, "ModulePath: %S", modulePath.c_str());
    std::wstring moduleName = ModuleNameWithoutExtension(modulePath);
    TraceMsg(scope, "ModuleName: %S", moduleName.c_str());
    std::wstring version = GetFileVersionString(modulePath.c_str());
    TraceMsg(scope, "ModuleVersion: %S", version.c_str());

    std::wstring presetAddress;
    int https = 0;

    INITCOMMONCONTROLSEX controls = {sizeof(controls), 0xFF};
    InitCommonControlsEx(&controls);

    {
        CVelmora_SetupDlg page;
        page.m_strPresetAddress = presetAddress;
        page.m_bHttps = https;
        page.DoModal();
    }
    return FALSE;
}

bool CVelmora_SetupApp::WriteRegcompatibility() { return false; }
