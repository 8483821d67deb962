#include <windows.h>

#include "app/setup_program.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return RunSetupProgram(); }
