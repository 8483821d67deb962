#pragma once

// The whole program after the entry point: the DLL search restricted first, then start-up and
// the wizard. Returns the process's exit code. Where the DLL search cannot be restricted
// (Windows 7 without KB2533623), the program refuses to run before any call that could load a
// DLL: no trace line, no message box, exit code 1603.
int RunSetupProgram();
