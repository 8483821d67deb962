#pragma once

#include <windows.h>

// Start-up work the application leaves until the address page is up, so that the page shows
// sooner; what it logs keeps its place in the log, ahead of everything the page logs itself.
class DeferredStartup {
  public:
    // Called once the page has shown; posts doneMessage to page when Finish no longer waits.
    virtual void Begin(HWND page, UINT doneMessage) = 0;
    // Does what is left, on the page's thread; only the first call does anything.
    virtual void Finish() = 0;

  protected:
    ~DeferredStartup() = default;
};
