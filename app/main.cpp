#include <windows.h>

#include "app/exit_code.h"
#include "app/velmora_setup_app.h"
#include "sys/dll_search.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    RestrictDllSearchToSystemFolder();
    theApp.InitInstance();
    return SetupExitCode(theApp.m_nSetupOutcome);
}
