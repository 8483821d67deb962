#include <windows.h>

#include "app/velmora_setup_app.h"
#include "sys/dll_search.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    RestrictDllSearchToSystemFolder();
    theApp.InitInstance();
    return 0;
}
