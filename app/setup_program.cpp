#include "app/setup_program.h"

#include "app/exit_code.h"
#include "app/velmora_setup_app.h"
#include "sys/dll_search.h"
#include "ui/wizard_state.h"

int RunSetupProgram() {
    // Without the restriction every DLL the elevated program loads, the system's own included,
    // would look for its dependencies beside the program first. Any call that may load one (the
    // trace's account lookup and file, a message box) would then be the hole itself: the
    // program ends at once, with nothing said.
    if (!RestrictDllSearchToSystemFolder()) return SetupExitCode(SetupIncomplete);
    theApp.InitInstance();
    return SetupExitCode(theApp.m_nSetupOutcome);
}
