// Our thin dialog framework: the few MFC behaviours Brisko relies on, with MFC's names, over raw Win32.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

using CString = std::string;

struct CPoint : POINT {
    CPoint(int px = 0, int py = 0) : POINT{px, py} {}
};

struct CRect : RECT {
    CRect() : RECT{0, 0, 0, 0} {}
    CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

class CWnd;
class CCmdTarget;

// ---- Message maps: a static table per class, chained to the base class's table.

using AFX_PMSG = LRESULT (*)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;   // window message, 0 ends the table
    UINT nCode;      // notification code (WM_COMMAND)
    UINT nID;        // control or command id (WM_COMMAND)
    bool bReflected; // a child's entry for a notification its parent received
    AFX_PMSG pfn;
    UINT nLastID = 0; // a range of ids from nID to this (WM_COMMAND); 0 for nID alone
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();
    const AFX_MSGMAP_ENTRY* lpEntries;
};

// clang-format off
#define DECLARE_MESSAGE_MAP()                      \
public:                                            \
    static const AFX_MSGMAP* GetThisMessageMap();  \
                                                   \
protected:                                         \
    const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                            \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }     \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                       \
    {                                                                                     \
        using ThisClass [[maybe_unused]] = theClass;                                      \
        using TheBaseClass = baseClass;                                                   \
        static const AFX_MSGMAP_ENTRY entries[] = {
#define END_MESSAGE_MAP()                                                  \
    {0, 0, 0, false, nullptr}};                                            \
    static const AFX_MSGMAP map = {&TheBaseClass::GetThisMessageMap, entries}; \
    return &map;                                                           \
    }

#define AFX_THIS(t) static_cast<ThisClass*>(t)

#define ON_COMMAND(id, fn) \
    {WM_COMMAND, 0, (UINT)(id), false, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT { AFX_THIS(t)->fn(); return 0; }},
#define ON_CONTROL(code, id, fn) \
    {WM_COMMAND, (UINT)(code), (UINT)(id), false, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT { AFX_THIS(t)->fn(); return 0; }},
// One handler for the notification from every control in the id range; it is given the id.
#define ON_CONTROL_RANGE(code, id, idLast, fn) \
    {WM_COMMAND, (UINT)(code), (UINT)(id), false, [](CCmdTarget* t, WPARAM w, LPARAM) -> LRESULT { AFX_THIS(t)->fn(LOWORD(w)); return 0; }, (UINT)(idLast)},
#define ON_BN_CLICKED(id, fn) ON_CONTROL(BN_CLICKED, id, fn)
#define ON_CBN_SELCHANGE(id, fn) ON_CONTROL(CBN_SELCHANGE, id, fn)
#define ON_CBN_EDITCHANGE(id, fn) ON_CONTROL(CBN_EDITCHANGE, id, fn)
#define ON_STN_CLICKED(id, fn) ON_CONTROL(STN_CLICKED, id, fn)
#define ON_CONTROL_REFLECT(code, fn) \
    {WM_COMMAND, (UINT)(code), 0, true, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT { AFX_THIS(t)->fn(); return 0; }},
// Reflected colour request: every WM_CTLCOLOR* the parent receives from this control.
#define ON_WM_CTLCOLOR_REFLECT()                                                              \
    {WM_CTLCOLORSTATIC, 0, 0, true, [](CCmdTarget* t, WPARAM w, LPARAM l) -> LRESULT {       \
         CDC dc((HDC)w);                                                                     \
         return (LRESULT)AFX_THIS(t)->CtlColor(&dc, (UINT)l);                                \
     }},
#define ON_MESSAGE(msg, fn) \
    {(UINT)(msg), 0, 0, false, [](CCmdTarget* t, WPARAM w, LPARAM l) -> LRESULT { return AFX_THIS(t)->fn(w, l); }},
#define ON_WM_SYSCOMMAND() \
    {WM_SYSCOMMAND, 0, 0, false, [](CCmdTarget* t, WPARAM w, LPARAM l) -> LRESULT { AFX_THIS(t)->OnSysCommand((UINT)w, l); return 0; }},
#define ON_WM_PAINT() \
    {WM_PAINT, 0, 0, false, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT { AFX_THIS(t)->OnPaint(); return 0; }},
#define ON_WM_QUERYDRAGICON() \
    {WM_QUERYDRAGICON, 0, 0, false, [](CCmdTarget* t, WPARAM, LPARAM) -> LRESULT { return (LRESULT)AFX_THIS(t)->OnQueryDragIcon(); }},
#define ON_WM_TIMER() \
    {WM_TIMER, 0, 0, false, [](CCmdTarget* t, WPARAM w, LPARAM) -> LRESULT { AFX_THIS(t)->OnTimer((UINT_PTR)w); return 0; }},
#define ON_WM_SHOWWINDOW() \
    {WM_SHOWWINDOW, 0, 0, false, [](CCmdTarget* t, WPARAM w, LPARAM l) -> LRESULT { AFX_THIS(t)->OnShowWindow((BOOL)w, (UINT)l); return 0; }},
#define ON_WM_CREATE() \
    {WM_CREATE, 0, 0, false, [](CCmdTarget* t, WPARAM, LPARAM l) -> LRESULT { return AFX_THIS(t)->OnCreate((LPCREATESTRUCT)l); }},
#define ON_WM_SETCURSOR()                                                                            \
    {WM_SETCURSOR, 0, 0, false, [](CCmdTarget* t, WPARAM w, LPARAM l) -> LRESULT {                  \
         return AFX_THIS(t)->OnSetCursor(CWnd::FromHandlePermanent((HWND)w), LOWORD(l), HIWORD(l)); \
     }},
#define ON_WM_MOUSEMOVE()                                                                    \
    {WM_MOUSEMOVE, 0, 0, false, [](CCmdTarget* t, WPARAM w, LPARAM l) -> LRESULT {          \
         AFX_THIS(t)->OnMouseMove((UINT)w, CPoint((short)LOWORD(l), (short)HIWORD(l)));     \
         return 0;                                                                          \
     }},
// clang-format on

// ---- Command targets: the application and every window.

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    static const AFX_MSGMAP* GetThisMessageMap();

protected:
    virtual const AFX_MSGMAP* GetMessageMap() const;
    // Finds the entry for a message (and notification code and id) in this class's map chain.
    const AFX_MSGMAP_ENTRY* FindEntry(UINT message, UINT code, UINT id, bool reflected) const;

    friend class CWnd;
    friend class CDialog;
};

// ---- GDI wrappers.

class CDC {
public:
    explicit CDC(HDC hdc = nullptr) : m_hDC(hdc) {}
    HDC GetSafeHdc() const { return m_hDC; }
    COLORREF SetTextColor(COLORREF cr) { return ::SetTextColor(m_hDC, cr); }
    int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }

    HDC m_hDC;
};

class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* pWnd);
    ~CPaintDC();
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

    PAINTSTRUCT m_ps;

private:
    HWND m_hWnd;
};

class CFont {
public:
    CFont() = default;
    ~CFont() { DeleteObject(); }
    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;
    BOOL CreateFontIndirect(const LOGFONTA* lf);
    BOOL DeleteObject();
    operator HFONT() const { return m_hObject; }

    HFONT m_hObject = nullptr;
};

// ---- Windows.

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate) : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}
    BOOL m_bSaveAndValidate; // TRUE: controls to members
    CWnd* m_pDlgWnd;
};

class CWnd : public CCmdTarget {
    DECLARE_MESSAGE_MAP()

public:
    CWnd() = default;
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    operator HWND() const { return m_hWnd; }
    HWND GetSafeHwnd() const { return m_hWnd; }
    static CWnd* FromHandlePermanent(HWND hWnd);

    // Attaches this object to an existing window by subclassing it; PreSubclassWindow runs first.
    BOOL SubclassWindow(HWND hWnd);
    BOOL SubclassDlgItem(UINT nID, CWnd* pParent);

    virtual BOOL DestroyWindow();
    virtual BOOL PreTranslateMessage(MSG* pMsg);
    virtual void DoDataExchange(CDataExchange* pDX);
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    // Virtual so that a dialog sees whether its initialisation hid it.
    virtual BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    // Thin forwards to the API.
    BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
    BOOL IsWindow() const { return m_hWnd != nullptr && ::IsWindow(m_hWnd); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    DWORD GetStyle() const { return (DWORD)::GetWindowLongPtrA(m_hWnd, GWL_STYLE); }
    HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
    HWND GetParent() const { return ::GetParent(m_hWnd); }
    void GetWindowText(CString& text) const;
    void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
    void GetClientRect(LPRECT rect) const { ::GetClientRect(m_hWnd, rect); }
    void GetWindowRect(LPRECT rect) const { ::GetWindowRect(m_hWnd, rect); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0)
    {
        return ::SendMessageA(m_hWnd, message, wParam, lParam);
    }
    UINT_PTR SetTimer(UINT_PTR nIDEvent, UINT nElapse) { return ::SetTimer(m_hWnd, nIDEvent, nElapse, nullptr); }
    BOOL KillTimer(UINT_PTR nIDEvent) { return ::KillTimer(m_hWnd, nIDEvent); }
    HMENU GetSystemMenu(BOOL bRevert) const { return ::GetSystemMenu(m_hWnd, bRevert); }

    // Default processing of the message being handled.
    LRESULT Default();

protected:
    virtual void PreSubclassWindow() {}
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // Offers a notification from this child back to it; true when its map handled it.
    bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);
    // Where a WM_COMMAND that no window map handles goes next.
    virtual bool RouteCommand(UINT nCode, UINT nID);

    // Default-processing handlers that derived handlers may call.
    void OnSysCommand(UINT, LPARAM) { Default(); }
    void OnPaint() { Default(); }
    void OnTimer(UINT_PTR) { Default(); }
    void OnShowWindow(BOOL, UINT) { Default(); }
    int OnCreate(LPCREATESTRUCT) { return (int)Default(); }
    BOOL OnSetCursor(CWnd*, UINT, UINT) { return (BOOL)Default(); }
    void OnMouseMove(UINT, CPoint) { Default(); }

    void Attach(HWND hWnd);
    void Detach();

private:
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

    struct CurrentMessage {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    const CurrentMessage* m_pCurrentMsg = nullptr;

    friend class CDialog;
};

class CStatic : public CWnd {
public:
    using CWnd::CWnd;
};

class CComboBox : public CWnd {
public:
    using CWnd::CWnd;
    int GetCurSel() const { return (int)::SendMessageA(m_hWnd, CB_GETCURSEL, 0, 0); }
};

class CToolTipCtrl : public CWnd {
public:
    ~CToolTipCtrl() override;
    BOOL Create(CWnd* pParentWnd, DWORD dwStyle = 0);
    BOOL AddTool(CWnd* pWnd, const char* text, LPCRECT rect, UINT_PTR nIDTool);
    void RelayEvent(MSG* pMsg);
};

class CDialog : public CWnd {
    DECLARE_MESSAGE_MAP()

public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr)
        : m_nIDTemplate(nIDTemplate),
          m_pParentWnd(pParentWnd)
    {
    }

    // Runs the dialog owned by its parent, or else by the application's main window, which takes no
    // input meanwhile.
    virtual INT_PTR DoModal();
    void EndDialog(int nResult);
    virtual BOOL OnInitDialog();
    BOOL PreTranslateMessage(MSG* pMsg) override;
    BOOL ShowWindow(int nCmdShow) override;

protected:
    virtual void OnOK();
    virtual void OnCancel();
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    bool RouteCommand(UINT nCode, UINT nID) override;
    // Fills list controls from the template's dialog init data (resource type 240).
    void ExecuteDlgInit();

    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;

private:
    static LRESULT CALLBACK CbtHook(int code, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK DlgProc(HWND, UINT, WPARAM, LPARAM) { return FALSE; }
    HWND FindOwner() const;
    bool m_bInModal = false;
    bool m_bInitialising = false;
    bool m_bHiddenByInit = false; // the last ShowWindow during initialisation hid the dialog
    INT_PTR m_nModalResult = -1;
};

// ---- Application.

class CWinApp : public CCmdTarget {
    DECLARE_MESSAGE_MAP()

public:
    explicit CWinApp(const char* pszAppName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance() { return TRUE; }
    virtual int ExitInstance() { return 0; }
    HICON LoadIcon(UINT nIDResource) const;
    BOOL Enable3dControls() { return TRUE; } // every supported system draws 3-D controls itself
    void OnHelp();

    bool OnCmdMsg(UINT nCode, UINT nID);

    HINSTANCE m_hInstance = nullptr;
    const char* m_lpCmdLine = "";
    CString m_strAppName;
    CWnd* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
// Runs the application object: what the framework's WinMain does.
int AfxWinMain(HINSTANCE hInstance, const char* lpCmdLine);
// The command line after the program name and the blanks behind it.
const char* AfxSkipProgramName(const char* cmdLine);
int AfxMessageBox(const char* text, UINT nType = MB_OK, UINT nIDHelp = 0);

// ---- Data exchange.

void DDX_Check(CDataExchange* pDX, int nIDC, int& value);
void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
void DDX_CBString(CDataExchange* pDX, int nIDC, CString& value);
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
