// A static text control turned into a clickable web link.
#pragma once

#include "framework/afxwin.h"

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
