#include "app/setup_program.h"

#include <windows.h>

#include "app/exit_code.h"
#include "app/velmora_setup_app.h"
#include "log/func_trace.h"
#include "log/trace_config.h"
#include "log/trace_log.h"
#include "res/resource.h"
#include "sys/dll_search.h"
#include "ui/message_text.h"

namespace {

// Without the restriction every DLL the elevated program loads, the system's own included,
// would look for its dependencies beside the program first: it does not run at all.
int RefuseUnrestrictedDllSearch() {
    InitTraceLog();
    FuncTrace scope("CVelmora_SetupApp::InitInstance");
    TraceMsg(scope, "SetDefaultDllDirectories fail___(KB2533623 missing)");
    MessageBoxW(nullptr, LoadMessageText(IDS_DLL_SEARCH_UNRESTRICTED).c_str(),
                LoadMessageText(IDS_SETUP_TITLE).c_str(), MB_OK | MB_ICONERROR);
    return SetupExitCode(SetupIncomplete);
}

}  // namespace

int RunSetupProgram() {
    if (!RestrictDllSearchToSystemFolder()) return RefuseUnrestrictedDllSearch();
    theApp.InitInstance();
    return SetupExitCode(theApp.m_nSetupOutcome);
}
