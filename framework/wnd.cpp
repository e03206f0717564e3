// Window objects: the HWND map, subclassing, and the one dispatch path from a window to its map.
#include "framework/afxwin.h"

#include <unordered_map>

namespace {

// Every window this thread has attached. The program has one user-interface thread.
std::unordered_map<HWND, CWnd*>& WindowMap()
{
    static std::unordered_map<HWND, CWnd*> map;
    return map;
}

const UINT_PTR kSubclassId = 1;

} // namespace

// ---- CCmdTarget

const AFX_MSGMAP* CCmdTarget::GetThisMessageMap()
{
    static const AFX_MSGMAP_ENTRY entries[] = {{0, 0, 0, false, nullptr}};
    static const AFX_MSGMAP map = {nullptr, entries};
    return &map;
}

const AFX_MSGMAP* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP_ENTRY* CCmdTarget::FindEntry(UINT message, UINT code, UINT id, bool reflected) const
{
    for (const AFX_MSGMAP* map = GetMessageMap(); map != nullptr;
         map = map->pfnGetBaseMap ? map->pfnGetBaseMap() : nullptr) {
        for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->nMessage != 0; ++entry) {
            if (entry->nMessage != message || entry->bReflected != reflected)
                continue;
            const UINT last = entry->nLastID > entry->nID ? entry->nLastID : entry->nID;
            if (message == WM_COMMAND && (entry->nCode != code || (!reflected && (id < entry->nID || id > last))))
                continue;
            return entry;
        }
    }
    return nullptr;
}

// ---- CWnd

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::~CWnd()
{
    if (m_hWnd != nullptr)
        Detach();
}

CWnd* CWnd::FromHandlePermanent(HWND hWnd)
{
    auto it = WindowMap().find(hWnd);
    return it == WindowMap().end() ? nullptr : it->second;
}

void CWnd::Attach(HWND hWnd)
{
    m_hWnd = hWnd;
    WindowMap()[hWnd] = this;
    ::SetWindowSubclass(hWnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void CWnd::Detach()
{
    if (m_hWnd == nullptr)
        return;
    ::RemoveWindowSubclass(m_hWnd, SubclassProc, kSubclassId);
    WindowMap().erase(m_hWnd);
    m_hWnd = nullptr;
}

BOOL CWnd::SubclassWindow(HWND hWnd)
{
    if (hWnd == nullptr || m_hWnd != nullptr || FromHandlePermanent(hWnd) != nullptr)
        return FALSE;
    // The attach step sees the control as the template made it, before any message reaches us.
    m_hWnd = hWnd;
    PreSubclassWindow();
    Attach(hWnd);
    return TRUE;
}

BOOL CWnd::SubclassDlgItem(UINT nID, CWnd* pParent)
{
    return pParent != nullptr && SubclassWindow(::GetDlgItem(pParent->m_hWnd, (int)nID));
}

BOOL CWnd::DestroyWindow() { return m_hWnd != nullptr && ::DestroyWindow(m_hWnd); }

BOOL CWnd::PreTranslateMessage(MSG*) { return FALSE; }

void CWnd::DoDataExchange(CDataExchange*) {}

BOOL CWnd::UpdateData(BOOL bSaveAndValidate)
{
    CDataExchange dx(this, bSaveAndValidate);
    DoDataExchange(&dx);
    return TRUE;
}

void CWnd::GetWindowText(CString& text) const
{
    int length = ::GetWindowTextLengthA(m_hWnd);
    text.assign(length > 0 ? (size_t)length + 1 : 1, '\0');
    int copied = ::GetWindowTextA(m_hWnd, &text[0], (int)text.size());
    text.resize(copied > 0 ? (size_t)copied : 0);
}

LRESULT CWnd::Default()
{
    if (m_pCurrentMsg == nullptr)
        return 0;
    return DefWindowProc(m_pCurrentMsg->message, m_pCurrentMsg->wParam, m_pCurrentMsg->lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return ::DefSubclassProc(m_hWnd, message, wParam, lParam);
}

bool CWnd::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    if (message == WM_COMMAND) {
        const AFX_MSGMAP_ENTRY* entry = FindEntry(WM_COMMAND, HIWORD(wParam), 0, true);
        if (entry == nullptr)
            return false;
        *pResult = entry->pfn(this, wParam, lParam);
        return true;
    }
    if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) {
        const AFX_MSGMAP_ENTRY* entry = FindEntry(WM_CTLCOLORSTATIC, 0, 0, true);
        if (entry == nullptr)
            return false;
        LRESULT brush = entry->pfn(this, wParam, message - WM_CTLCOLORMSGBOX);
        if (brush == 0)
            return false; // the child declined: the parent colours it
        *pResult = brush;
        return true;
    }
    return false;
}

bool CWnd::RouteCommand(UINT, UINT) { return false; }

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    // A control's notification goes back to the control first; what it handles stops here.
    HWND hChild = nullptr;
    if (message == WM_COMMAND && lParam != 0)
        hChild = reinterpret_cast<HWND>(lParam);
    else if (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC)
        hChild = reinterpret_cast<HWND>(lParam);
    if (hChild != nullptr) {
        CWnd* pChild = FromHandlePermanent(hChild);
        LRESULT result = 0;
        if (pChild != nullptr && pChild != this && pChild->OnChildNotify(message, wParam, lParam, &result))
            return result;
    }

    UINT code = message == WM_COMMAND ? HIWORD(wParam) : 0;
    UINT id = message == WM_COMMAND ? LOWORD(wParam) : 0;
    if (const AFX_MSGMAP_ENTRY* entry = FindEntry(message, code, id, false))
        return entry->pfn(this, wParam, lParam);
    if (message == WM_COMMAND && lParam == 0 && RouteCommand(code, id))
        return 0;
    return DefWindowProc(message, wParam, lParam);
}

LRESULT CWnd::Dispatch(UINT message, WPARAM wParam, LPARAM lParam)
{
    CurrentMessage current = {message, wParam, lParam};
    const CurrentMessage* outer = m_pCurrentMsg;
    m_pCurrentMsg = &current;
    LRESULT result = 0;
    try {
        result = WindowProc(message, wParam, lParam);
    } catch (...) {
        // Nothing may unwind through the system's window procedure.
        result = DefWindowProc(message, wParam, lParam);
    }
    m_pCurrentMsg = outer;
    return result;
}

LRESULT CALLBACK CWnd::SubclassProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR refData)
{
    CWnd* pWnd = reinterpret_cast<CWnd*>(refData);
    if (message == WM_NCDESTROY) {
        LRESULT result = pWnd->Dispatch(message, wParam, lParam);
        if (pWnd->m_hWnd == hWnd)
            pWnd->Detach();
        return result;
    }
    return pWnd->Dispatch(message, wParam, lParam);
}

// ---- CToolTipCtrl

CToolTipCtrl::~CToolTipCtrl()
{
    if (m_hWnd != nullptr && ::IsWindow(m_hWnd))
        ::DestroyWindow(m_hWnd);
}

BOOL CToolTipCtrl::Create(CWnd* pParentWnd, DWORD dwStyle)
{
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&icc);
    HWND hWnd = ::CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | dwStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, pParentWnd ? pParentWnd->m_hWnd : nullptr, nullptr,
                                  AfxGetInstanceHandle(), nullptr);
    if (hWnd == nullptr)
        return FALSE;
    Attach(hWnd);
    return TRUE;
}

BOOL CToolTipCtrl::AddTool(CWnd* pWnd, const char* text, LPCRECT rect, UINT_PTR nIDTool)
{
    // The classic record size: every comctl32 version accepts it.
    TTTOOLINFOA ti = {};
    ti.cbSize = TTTOOLINFOA_V1_SIZE;
    ti.hwnd = pWnd->m_hWnd;
    ti.uId = nIDTool;
    ti.hinst = AfxGetInstanceHandle();
    ti.lpszText = const_cast<char*>(text);
    if (rect != nullptr)
        ti.rect = *rect;
    return (BOOL)::SendMessageA(m_hWnd, TTM_ADDTOOLA, 0, (LPARAM)&ti);
}

void CToolTipCtrl::RelayEvent(MSG* pMsg)
{
    if (m_hWnd != nullptr)
        ::SendMessageA(m_hWnd, TTM_RELAYEVENT, 0, (LPARAM)pMsg);
}

// ---- GDI

CPaintDC::CPaintDC(CWnd* pWnd) : CDC(nullptr), m_hWnd(pWnd->m_hWnd) { m_hDC = ::BeginPaint(m_hWnd, &m_ps); }

CPaintDC::~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }

BOOL CFont::CreateFontIndirect(const LOGFONTA* lf)
{
    DeleteObject();
    m_hObject = ::CreateFontIndirectA(lf);
    return m_hObject != nullptr;
}

BOOL CFont::DeleteObject()
{
    if (m_hObject == nullptr)
        return FALSE;
    BOOL deleted = ::DeleteObject(m_hObject);
    m_hObject = nullptr;
    return deleted;
}
