// Modal dialogs: created from their template, run by our own loop, ended by EndDialog.
#include "framework/afxwin.h"

#include <cstring>
#include <string>

namespace {

// The dialog being created on this thread; the creation hook attaches it to its window.
thread_local CWnd* t_pWndInit = nullptr;
thread_local HHOOK t_hHook = nullptr;

class CbtHookOwner {
public:
    CbtHookOwner(HOOKPROC proc) { t_hHook = ::SetWindowsHookExA(WH_CBT, proc, nullptr, ::GetCurrentThreadId()); }
    ~CbtHookOwner()
    {
        if (t_hHook != nullptr)
            ::UnhookWindowsHookEx(t_hHook);
        t_hHook = nullptr;
        t_pWndInit = nullptr;
    }
    CbtHookOwner(const CbtHookOwner&) = delete;
    CbtHookOwner& operator=(const CbtHookOwner&) = delete;
};

// Messages of the dialog init data as classic resource editors write them.
const WORD kWin16LbAddString = 0x0401;
const WORD kWin16CbAddString = 0x0403;
const WORD kAfxCbAddString = 0x1234;

} // namespace

BEGIN_MESSAGE_MAP(CDialog, CWnd)
    ON_COMMAND(IDOK, OnOK)
    ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

LRESULT CALLBACK CDialog::CbtHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND && t_pWndInit != nullptr) {
        // The first window created is the dialog itself: attach it before WM_NCCREATE.
        CWnd* pWnd = t_pWndInit;
        t_pWndInit = nullptr;
        pWnd->Attach(reinterpret_cast<HWND>(wParam));
    }
    return ::CallNextHookEx(t_hHook, code, wParam, lParam);
}

// The owner a dialog without a parent gets: the application's main window, when it is one.
HWND CDialog::FindOwner() const
{
    if (m_pParentWnd != nullptr)
        return m_pParentWnd->m_hWnd;
    CWinApp* pApp = AfxGetApp();
    CWnd* pMain = pApp != nullptr ? pApp->m_pMainWnd : nullptr;
    return pMain != nullptr && pMain != this && pMain->IsWindow() ? pMain->m_hWnd : nullptr;
}

BOOL CDialog::ShowWindow(int nCmdShow)
{
    if (m_bInitialising)
        m_bHiddenByInit = nCmdShow == SW_HIDE;
    return CWnd::ShowWindow(nCmdShow);
}

INT_PTR CDialog::DoModal()
{
    HINSTANCE hInst = AfxGetInstanceHandle();
    HRSRC hRes = ::FindResourceA(hInst, MAKEINTRESOURCEA(m_nIDTemplate), MAKEINTRESOURCEA(5) /* RT_DIALOG */);
    HGLOBAL hTemplate = hRes ? ::LoadResource(hInst, hRes) : nullptr;
    const void* pTemplate = hTemplate ? ::LockResource(hTemplate) : nullptr;
    if (pTemplate == nullptr || ::SizeofResource(hInst, hRes) < sizeof(DLGTEMPLATE))
        return -1;
    // An extended template (signature 0xFFFF) keeps its style after the help id and extended style.
    DWORD style;
    const WORD* words = static_cast<const WORD*>(pTemplate);
    std::memcpy(&style, words[1] == 0xFFFF ? words + 6 : words, sizeof style);

    HWND hOwner = FindOwner();
    bool ownerEnabled = hOwner != nullptr && ::IsWindowEnabled(hOwner);
    if (ownerEnabled)
        ::EnableWindow(hOwner, FALSE);

    m_nModalResult = -1;
    m_bInModal = true; // EndDialog may already come from OnInitDialog
    m_bInitialising = true;
    m_bHiddenByInit = false;
    HWND hWnd;
    {
        CbtHookOwner hook(CbtHook);
        t_pWndInit = this;
        hWnd = ::CreateDialogIndirectParamA(hInst, static_cast<LPCDLGTEMPLATEA>(pTemplate), hOwner, DlgProc, 0);
    }
    m_bInitialising = false;
    if (hWnd == nullptr || m_hWnd != hWnd) {
        m_bInModal = false;
        if (ownerEnabled)
            ::EnableWindow(hOwner, TRUE);
        return -1;
    }
    // The dialog manager shows only templates with WS_VISIBLE; the others are shown here, once their
    // initialisation has ended, unless it hid the dialog or ended it.
    if (!(style & WS_VISIBLE) && m_bInModal && !m_bHiddenByInit && !::IsWindowVisible(hWnd)) {
        ::ShowWindow(hWnd, SW_SHOWNORMAL);
        ::UpdateWindow(hWnd);
    }

    MSG msg;
    while (m_bInModal) {
        BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
        if (got == 0) {
            ::PostQuitMessage((int)msg.wParam); // leave WM_QUIT for the outer loop
            break;
        }
        if (got == -1)
            break;
        // Offer the message to the window it targets and each of our windows above it.
        bool handled = false;
        bool reachedDialog = false;
        for (HWND h = msg.hwnd; h != nullptr && !handled;) {
            if (CWnd* pWnd = FromHandlePermanent(h))
                handled = pWnd->PreTranslateMessage(&msg) != FALSE;
            if (h == m_hWnd) {
                reachedDialog = true;
                break;
            }
            h = (::GetWindowLongPtrA(h, GWL_STYLE) & WS_CHILD) ? ::GetParent(h) : nullptr;
        }
        if (!handled && !reachedDialog)
            handled = PreTranslateMessage(&msg) != FALSE;
        if (!handled) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }

    // The owner takes input and the focus back before the dialog goes, or the focus goes elsewhere.
    if (ownerEnabled)
        ::EnableWindow(hOwner, TRUE);
    if (hOwner != nullptr && ::GetActiveWindow() == m_hWnd)
        ::SetActiveWindow(hOwner);
    DestroyWindow();
    return m_nModalResult;
}

void CDialog::EndDialog(int nResult)
{
    m_nModalResult = nResult;
    m_bInModal = false;
    if (m_hWnd != nullptr)
        ::PostMessageA(m_hWnd, WM_NULL, 0, 0); // wake the loop
}

BOOL CDialog::PreTranslateMessage(MSG* pMsg) { return ::IsDialogMessageA(m_hWnd, pMsg); }

void CDialog::OnOK()
{
    UpdateData(TRUE);
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::OnInitDialog()
{
    ExecuteDlgInit();
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::ExecuteDlgInit()
{
    HINSTANCE hInst = AfxGetInstanceHandle();
    HRSRC hRes = ::FindResourceA(hInst, MAKEINTRESOURCEA(m_nIDTemplate), MAKEINTRESOURCEA(240));
    if (hRes == nullptr)
        return;
    HGLOBAL hData = ::LoadResource(hInst, hRes);
    const BYTE* p = hData ? static_cast<const BYTE*>(::LockResource(hData)) : nullptr;
    if (p == nullptr)
        return;
    const BYTE* end = p + ::SizeofResource(hInst, hRes);

    // Records: WORD control id, WORD message, DWORD length, then the bytes; a zero id ends the list.
    const size_t header = 2 * sizeof(WORD) + sizeof(DWORD);
    while ((size_t)(end - p) >= sizeof(WORD)) {
        WORD id, message;
        DWORD length;
        std::memcpy(&id, p, sizeof id);
        if (id == 0 || (size_t)(end - p) < header)
            break;
        std::memcpy(&message, p + 2, sizeof message);
        std::memcpy(&length, p + 4, sizeof length);
        p += header;
        if (length > (size_t)(end - p))
            break; // a record that runs past the resource: keep what came before
        std::string text(reinterpret_cast<const char*>(p), length);
        p += length;
        text.resize(std::strlen(text.c_str()));
        UINT msg = message == kWin16LbAddString                                   ? LB_ADDSTRING
                   : (message == kWin16CbAddString || message == kAfxCbAddString) ? CB_ADDSTRING
                                                                                  : 0;
        HWND hCtrl = ::GetDlgItem(m_hWnd, id);
        if (msg != 0 && hCtrl != nullptr)
            ::SendMessageA(hCtrl, msg, 0, (LPARAM)text.c_str());
    }
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        // The dialog manager sets the focus when this returns TRUE.
        return OnInitDialog();
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

bool CDialog::RouteCommand(UINT nCode, UINT nID)
{
    // Commands the dialog does not handle go on to the application, as menu commands do.
    CWinApp* pApp = AfxGetApp();
    return pApp != nullptr && pApp->OnCmdMsg(nCode, nID);
}
