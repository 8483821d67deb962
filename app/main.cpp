#include <windows.h>

#include "app/exit_code.h"
#include "app/velmora_setup_app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    theApp.InitInstance();
    return SetupExitCode(theApp.m_nSetupOutcome);
}
