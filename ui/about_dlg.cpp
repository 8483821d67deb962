#include "ui/about_dlg.h"

#include "res/resource.h"

CAboutDlg::CAboutDlg() : Dialog(IDD_ABOUTBOX) {}
