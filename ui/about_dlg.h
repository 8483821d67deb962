#pragma once

#include "ui/dialog.h"

// The About box of the system menu; all it shows comes from its template.
class CAboutDlg : public Dialog {
  public:
    CAboutDlg();
};
