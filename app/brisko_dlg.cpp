// The main dialog: construction, initialisation, the message map and the window's own handlers.
#include "app/brisko_dlg.h"

#include "app/about_dlg.h"
#include "app/dialog_rules.h"

BEGIN_MESSAGE_MAP(CBriskoDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDC_CLEARNOW, StartRun)
    // Every option box and the minutes list: "Clear Now" above takes its own clicks.
    ON_CONTROL_RANGE(BN_CLICKED, IDC_TEMPFILES, IDC_CLEARONSTART, OnOptionChanged)
    ON_WM_TIMER()
    ON_CBN_EDITCHANGE(IDC_MINUTES, OnEditchangeMinutes)
    ON_CONTROL_RANGE(CBN_SELCHANGE, IDC_MINUTES, IDC_MINUTES, OnOptionChanged)
    ON_BN_CLICKED(IDC_HIDE, OnHide)
    ON_WM_SHOWWINDOW()
    ON_WM_CREATE()
    ON_MESSAGE(WM_TRAYNOTIFY, OnTrayNotify)
    ON_MESSAGE(WM_ENDSESSION, OnEndSession)
    // Last: a message that could not be registered is 0, which would end the table here.
    ON_MESSAGE(TaskbarCreatedMessage(), OnTaskbarCreated)
END_MESSAGE_MAP()

CBriskoDlg::CBriskoDlg(CWnd* pParent)
    : CDialog(IDD_MAIN_DIALOG, pParent),
      m_bTempFiles(TRUE),
      m_strStatus(BRISKO_URL),
      m_bCookies(TRUE),
      m_bUrlHistory(TRUE),
      m_bFormHistory(TRUE),
      m_bPasswordHistory(TRUE),
      m_bFavorites(FALSE),
      m_bAutoDial(FALSE),
      m_bSystemTemp(TRUE),
      m_bRecycleBin(FALSE),
      m_bRunHistory(FALSE),
      m_bRecentDocs(FALSE),
      m_bLogonHistory(FALSE),
      m_bFindFiles(FALSE),
      m_bFindComputers(FALSE),
      m_bNetHood(FALSE),
      m_bTelnet(FALSE),
      m_bHistoryItems(FALSE),
      m_bAutoStart(FALSE),
      m_bAutoClear(FALSE),
      m_strMinutes("5"),
      m_bClearOnStart(FALSE),
      m_hIcon(AfxGetApp() != nullptr ? AfxGetApp()->LoadIcon(IDR_MAINFRAME) : nullptr)
{
    LoadSettings();
}

CBriskoDlg::~CBriskoDlg() = default;

void CBriskoDlg::DoDataExchange(CDataExchange* pDX)
{
    DDX_Control(pDX, IDC_LINK, m_link);
    DDX_Control(pDX, IDC_MINUTES, m_comboMinutes);
    DDX_Check(pDX, IDC_TEMPFILES, m_bTempFiles);
    DDX_Text(pDX, IDC_STATUS, m_strStatus);
    DDX_Check(pDX, IDC_COOKIES, m_bCookies);
    DDX_Check(pDX, IDC_URLHISTORY, m_bUrlHistory);
    DDX_Check(pDX, IDC_FORMHISTORY, m_bFormHistory);
    DDX_Check(pDX, IDC_PASSWORDHISTORY, m_bPasswordHistory);
    DDX_Check(pDX, IDC_FAVORITES, m_bFavorites);
    DDX_Check(pDX, IDC_AUTODIAL, m_bAutoDial);
    DDX_Check(pDX, IDC_SYSTEMTEMP, m_bSystemTemp);
    DDX_Check(pDX, IDC_RECYCLEBIN, m_bRecycleBin);
    DDX_Check(pDX, IDC_RUNHISTORY, m_bRunHistory);
    DDX_Check(pDX, IDC_RECENTDOCS, m_bRecentDocs);
    DDX_Check(pDX, IDC_LOGONHISTORY, m_bLogonHistory);
    DDX_Check(pDX, IDC_FINDFILES, m_bFindFiles);
    DDX_Check(pDX, IDC_FINDCOMPUTERS, m_bFindComputers);
    DDX_Check(pDX, IDC_NETHOOD, m_bNetHood);
    DDX_Check(pDX, IDC_TELNET, m_bTelnet);
    DDX_Check(pDX, IDC_HISTORYITEMS, m_bHistoryItems);
    DDX_Check(pDX, IDC_AUTOSTART, m_bAutoStart);
    DDX_Check(pDX, IDC_AUTOCLEAR, m_bAutoClear);
    DDX_CBString(pDX, IDC_MINUTES, m_strMinutes);
    DDX_Check(pDX, IDC_CLEARONSTART, m_bClearOnStart);
}

INT_PTR CBriskoDlg::DoModal() { return CDialog::DoModal(); }

BOOL CBriskoDlg::OnInitDialog()
{
    // First: an elevated Brisko still hears a restarted shell, the icon's presses and a second start
    // from a standard process, also while a run at the start holds the window.
    ::ChangeWindowMessageFilterEx(m_hWnd, TaskbarCreatedMessage(), MSGFLT_ALLOW, nullptr);
    ::ChangeWindowMessageFilterEx(m_hWnd, WM_TRAYNOTIFY, MSGFLT_ALLOW, nullptr);
    CDialog::OnInitDialog();

    if (HMENU hSysMenu = GetSystemMenu(FALSE)) {
        char about[128];
        if (::LoadStringA(AfxGetInstanceHandle(), IDS_ABOUTBOX, about, sizeof about) > 0) {
            ::AppendMenuA(hSysMenu, MF_SEPARATOR, 0, nullptr);
            ::AppendMenuA(hSysMenu, MF_STRING, IDM_ABOUTBOX, about);
        }
    }

    SendMessage(WM_SETICON, ICON_BIG, (LPARAM)m_hIcon);
    SendMessage(WM_SETICON, ICON_SMALL, (LPARAM)m_hIcon);

    OnAutoClear();

    UINT period;
    if (MinutesToPeriod(m_strMinutes.c_str(), period))
        SetTimer(ID_TIMER_AUTOCLEAR, period);

    if (AfxGetApp() != nullptr && IsHiddenStart(AfxGetApp()->m_lpCmdLine))
        SetTimer(ID_TIMER_HIDE, 1);

    if (m_bClearOnStart)
        StartRun();

    AddTrayIcon();
    return TRUE;
}

void CBriskoDlg::OnSysCommand(UINT nID, LPARAM lParam)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
    } else {
        CDialog::OnSysCommand(nID, lParam);
    }
}

void CBriskoDlg::OnPaint()
{
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, (WPARAM)dc.GetSafeHdc(), 0);
    int cxIcon = ::GetSystemMetrics(SM_CXICON);
    int cyIcon = ::GetSystemMetrics(SM_CYICON);
    CRect rect;
    GetClientRect(&rect);
    ::DrawIcon(dc.GetSafeHdc(), CentredIconOrigin(rect.Width(), cxIcon), CentredIconOrigin(rect.Height(), cyIcon),
               m_hIcon);
}

HCURSOR CBriskoDlg::OnQueryDragIcon() { return (HCURSOR)m_hIcon; }

int CBriskoDlg::OnCreate(LPCREATESTRUCT lpCreateStruct)
{
    if (CDialog::OnCreate(lpCreateStruct) == -1)
        return -1;
    return 0;
}

void CBriskoDlg::OnShowWindow(BOOL bShow, UINT nStatus) { CDialog::OnShowWindow(bShow, nStatus); }

void CBriskoDlg::OnHide() { ShowWindow(SW_HIDE); }

void CBriskoDlg::OnAutoClear()
{
    UpdateData(TRUE);
    m_comboMinutes.EnableWindow(m_bAutoClear != 0);
}

void CBriskoDlg::OnEditchangeMinutes() {}

// Each choice is on the disk at once: Windows ends a Brisko busy with a run at logoff without notice.
void CBriskoDlg::OnOptionChanged(UINT nID)
{
    if (nID == IDC_AUTOCLEAR)
        OnAutoClear();
    else if (nID == IDC_AUTOSTART)
        OnAutoStart();
    else if (nID == IDC_MINUTES)
        OnSelchangeMinutes();
    SaveSettings();
}

void CBriskoDlg::StartRun()
{
    // Once the session ends the profile is being unloaded: nothing more is cleaned.
    if (m_bRunning || m_bClosing)
        return;
    // A run may outlast the five seconds Windows waits at logoff: what was chosen is saved first.
    SaveSettings();
    m_bRunning = true;
    struct Done {
        bool& running;
        ~Done() { running = false; }
    } done{m_bRunning};
    RunClean();
}

// Windows ends the process after this without destroying the window: what closing does, at once.
LRESULT CBriskoDlg::OnEndSession(WPARAM wParam, LPARAM)
{
    if (wParam) {
        m_bClosing = true;
        SaveSettings();
        RemoveTrayIcon();
    }
    return 0;
}

BOOL CBriskoDlg::DestroyWindow()
{
    m_bClosing = true;
    SaveSettings();
    RemoveTrayIcon();
    return CDialog::DestroyWindow();
}
