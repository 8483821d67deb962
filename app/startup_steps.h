#pragma once

#include <windows.h>
#include <string>
#include <thread>

#include "log/func_trace.h"
#include "ui/deferred_startup.h"

class CVelmora_SetupApp;

// What start-up registers and logs before the address page logs anything of its own: the
// compatibility layer on newer systems, then the program's path, name and file version. The
// system version that decides the layer is asked for on a thread of its own once the page
// shows: the workstation service's DLL brings several more, which then load while the page is
// already up.
class StartupSteps : public DeferredStartup {
  public:
    StartupSteps(CVelmora_SetupApp& app, FuncTrace& scope, std::wstring modulePath);
    ~StartupSteps();

    StartupSteps(const StartupSteps&) = delete;
    StartupSteps& operator=(const StartupSteps&) = delete;

    // Asks for the system version on a thread of its own, which posts doneMessage to page when
    // it has the answer; only the first call does.
    void Begin(HWND page, UINT doneMessage) override;
    // Registers and logs on the first call only, waiting for the answer of Begin or, without
    // it, asking on the calling thread.
    void Finish() override;

  private:
    void AskOsVersion();

    CVelmora_SetupApp& m_app;
    FuncTrace& m_scope;
    std::wstring m_modulePath;
    std::thread m_osVersionThread;
    bool m_started = false;
    bool m_osVersionKnown = false;
    DWORD m_osMajor = 0;
    DWORD m_osMinor = 0;
    bool m_written = false;
};
