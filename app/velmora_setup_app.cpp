#include "app/velmora_setup_app.h"

#include <commctrl.h>
#include <string>

#include "app/preset_address.h"
#include "log/func_trace.h"
#include "log/trace_config.h"
#include "log/trace_log.h"
#include "sys/module_info.h"
#include "sys/os_version.h"
#include "sys/path_text.h"
#include "ui/setup_dlg.h"

CVelmora_SetupApp theApp;

BOOL CVelmora_SetupApp::InitInstance() {
    InitTraceLog();
    FuncTrace scope("CVelmora_SetupApp::InitInstance");

    // Newer systems get the compatibility layer before anything of this run is logged.
    DWORD osMajor = 0;
    DWORD osMinor = 0;
    if (GetOSVersion(osMajor, osMinor) && osMajor >= 6) WriteRegcompatibility();

    std::wstring modulePath = GetModulePath();
    TraceMsg(scope, "ModulePath: %S", modulePath.c_str());
    std::wstring moduleName = BaseNameOfPath(modulePath);
    TraceMsg(scope, "ModuleName: %S", moduleName.c_str());
    std::wstring version = GetFileVersionString(modulePath.c_str());
    TraceMsg(scope, "ModuleVersion: %S", version.c_str());

    PresetAddress preset = LoadPresetAddress(moduleName);
    if (preset.automatic) m_bAutoSetup = 1;

    INITCOMMONCONTROLSEX controls = {sizeof(controls), 0xFF};
    InitCommonControlsEx(&controls);

    {
        CVelmora_SetupDlg page(*this, preset.text, preset.https == 1);
        page.DoModal();
    }
    return FALSE;
}
