#pragma once

#include <windows.h>

#include "ui/wizard_state.h"

// The one application object: start-up, and the two flags the pages share with the
// installation worker (each has one writer).
class CVelmora_SetupApp : public WizardState {
  public:
    // Runs the whole start-up and the wizard; false tells the caller to end the process.
    BOOL InitInstance();

    // Registers the Windows XP SP2 compatibility layer for this program file (HKCU).
    bool WriteRegcompatibility();
};

extern CVelmora_SetupApp theApp;
