// Data exchange between dialog controls and members; the direction comes with the exchange object.
#include "framework/afxwin.h"

namespace {

HWND Control(CDataExchange* pDX, int nIDC) { return ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, nIDC); }

} // namespace

void DDX_Check(CDataExchange* pDX, int nIDC, int& value)
{
    HWND hCtrl = Control(pDX, nIDC);
    if (hCtrl == nullptr)
        return;
    if (pDX->m_bSaveAndValidate) {
        value = (int)::SendMessageA(hCtrl, BM_GETCHECK, 0, 0);
    } else {
        if (value < 0 || value > 2)
            value = 0;
        ::SendMessageA(hCtrl, BM_SETCHECK, (WPARAM)value, 0);
    }
}

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value)
{
    HWND hCtrl = Control(pDX, nIDC);
    if (hCtrl == nullptr)
        return;
    if (pDX->m_bSaveAndValidate) {
        int length = ::GetWindowTextLengthA(hCtrl);
        CString text((size_t)(length > 0 ? length : 0) + 1, '\0');
        int copied = ::GetWindowTextA(hCtrl, &text[0], (int)text.size());
        text.resize(copied > 0 ? (size_t)copied : 0);
        value = text;
    } else {
        ::SetWindowTextA(hCtrl, value.c_str());
    }
}

void DDX_CBString(CDataExchange* pDX, int nIDC, CString& value)
{
    HWND hCtrl = Control(pDX, nIDC);
    if (hCtrl == nullptr)
        return;
    if (pDX->m_bSaveAndValidate) {
        // A drop-down list has no edit field: its text is the selected item's, or nothing.
        value.clear();
        LRESULT index = ::SendMessageA(hCtrl, CB_GETCURSEL, 0, 0);
        if (index == CB_ERR)
            return;
        LRESULT length = ::SendMessageA(hCtrl, CB_GETLBTEXTLEN, (WPARAM)index, 0);
        if (length == CB_ERR)
            return;
        CString text((size_t)length + 1, '\0');
        LRESULT copied = ::SendMessageA(hCtrl, CB_GETLBTEXT, (WPARAM)index, (LPARAM)&text[0]);
        text.resize(copied > 0 ? (size_t)copied : 0);
        value = text;
    } else {
        // First item from the top that begins with the text; no match leaves the selection alone.
        ::SendMessageA(hCtrl, CB_SELECTSTRING, (WPARAM)-1, (LPARAM)value.c_str());
    }
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl)
{
    if (rControl.m_hWnd == nullptr)
        rControl.SubclassDlgItem((UINT)nIDC, pDX->m_pDlgWnd);
}
