#pragma once

#include <windows.h>
#include <string>

// The address page: the wizard's modal main window.
class CVelmora_SetupDlg {
public:
    INT_PTR DoModal();

    int m_bHttps = 0;
    std::wstring m_strPresetAddress;
};
