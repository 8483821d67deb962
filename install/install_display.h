#pragma once

#include <windows.h>

// What the installation steps show while they run: the page's info text and its progress
// bar. The download page implements it; the steps call it from the installation worker, so
// an implementation reaches its windows only through sent messages.
class InstallDisplay {
  public:
    // Shows the message text of stringId.
    virtual void SetInfoText(UINT16 stringId) = 0;
    // Sets the progress bar's range to 0..size before a download.
    virtual void SetProgressRange(int size) = 0;
    // The progress bar the download callbacks move.
    virtual HWND ProgressBar() const = 0;

  protected:
    ~InstallDisplay() = default;
};
