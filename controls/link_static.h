// A static text control turned into a clickable web link.
#pragma once

#include "framework/afxwin.h"

// Size of the buffer a fallback command line is composed in: twice MAX_PATH.
const size_t kLinkCommandSize = 2 * MAX_PATH;

// The window rectangle fitted to a text extent by the control's alignment style: vertically by
// SS_CENTERIMAGE, horizontally by SS_CENTER, else SS_RIGHT, else keeping the left edge.
CRect FitLinkRect(const CRect& rect, SIZE text, DWORD style);

// Turns an open-command template in `command` into a command line for `address`: cut at the
// quoted "%1" (else the bare one), then a blank and the address. False, and `command` unchanged,
// when the result would not fit in `size` bytes.
bool ComposeLinkCommand(char* command, size_t size, const char* address);

class CLinkStatic : public CStatic {
    DECLARE_MESSAGE_MAP()

public:
    CLinkStatic();
    ~CLinkStatic() override;

    BOOL PreTranslateMessage(MSG* pMsg) override;
    void SetVisited(BOOL bVisited);

    // Opening the address (link_launch.cpp).
    static int OpenUrl(const char* url, int nShowCmd);
    static LONG ReadKeyDefault(HKEY hRoot, const char* path, char* out);
    static void ShowLaunchError(int nError);

    // The help program whose cursor 106 is the link cursor, relative to the Windows directory.
    // Wine maps its own winhlp32 (without that cursor) for any file of that name, so tests point it elsewhere.
    static const char* s_pszHelpProgram;

protected:
    void PreSubclassWindow() override;
    void FitToText();
    void LoadLinkCursor();

    void OnClicked();
    HBRUSH CtlColor(CDC* pDC, UINT nCtlColor);
    BOOL OnSetCursor(CWnd* pWnd, UINT nHitTest, UINT message);
    void OnMouseMove(UINT nFlags, CPoint point);

public:
    COLORREF m_crUnvisited;
    COLORREF m_crVisited;
    COLORREF m_crHover;
    BOOL m_bHover;
    BOOL m_bVisited;
    BOOL m_bUnderline;
    BOOL m_bAutoSize;
    CString m_strUrl;
    CFont m_fontLink;
    HCURSOR m_hLinkCursor;
    CToolTipCtrl m_toolTip;
};
