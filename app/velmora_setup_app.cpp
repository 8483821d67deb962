#include "app/velmora_setup_app.h"

#include <commctrl.h>
#include <string>

#include "app/preset_address.h"
#include "app/stamped_pins.h"
#include "app/startup_steps.h"
#include "log/func_trace.h"
#include "log/trace_config.h"
#include "sys/module_info.h"
#include "sys/path_text.h"
#include "ui/setup_dlg.h"

CVelmora_SetupApp theApp;

BOOL CVelmora_SetupApp::InitInstance() {
    InitTraceLog();
    FuncTrace scope("CVelmora_SetupApp::InitInstance");

    std::wstring modulePath = GetModulePath();
    PresetAddress preset = LoadPresetAddress(StemOfPathOrEmpty(modulePath));
    if (preset.automatic) m_bAutoSetup = 1;
    m_publisherPins = LoadStampedPins();

    INITCOMMONCONTROLSEX controls = {sizeof(controls), 0xFF};
    InitCommonControlsEx(&controls);

    StartupSteps report(*this, scope, modulePath);
    {
        CVelmora_SetupDlg page(*this, preset.text, preset.https == 1, &report);
        page.DoModal();
    }
    // A page that could not open still leaves the report.
    report.Finish();
    return FALSE;
}
