// The About box: name, version, what the program does and its web address, all in its template.
#pragma once

#include "framework/afxwin.h"
#include "res/resource.h"

class CAboutDlg : public CDialog {
    DECLARE_MESSAGE_MAP()

public:
    CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
};
