// The main dialog: option record, settings file, background operation, the cleaning run.
#pragma once

#include "controls/link_static.h"
#include "framework/afxwin.h"
#include "res/resource.h"

#include <windows.h>

#include <shellapi.h>

#define ID_TIMER_AUTOCLEAR 100
#define ID_TIMER_HIDE 101
#define ID_TRAYICON 101
#define ID_TIMER_TRAYRETRY 102
#define WM_TRAYNOTIFY (WM_USER + 101)

// The shell's announcement of a new task bar: Explorer started again and shows no icon of ours.
UINT TaskbarCreatedMessage();

class CBriskoDlg : public CDialog {
    DECLARE_MESSAGE_MAP()

public:
    explicit CBriskoDlg(CWnd* pParent = nullptr);
    ~CBriskoDlg() override;

    BOOL DestroyWindow() override;
    INT_PTR DoModal() override;
    BOOL OnInitDialog() override;

    // The cleaning run (clean/run.cpp), and its one entry (app/brisko_dlg.cpp): no run starts inside
    // another, whose COM or shell waits may dispatch a timer tick or a click.
    void RunClean();
    void StartRun();
    void SetStatus(const char* text);

    // Stored form data removal (clean/form_data.cpp); none of these use the dialog's state.
    // The SID copy and the ACL are process-heap blocks (HeapFree), the saved descriptor a malloc block.
    static void RemoveFormData();
    static BOOL IsWinNT5OrLater();
    static BOOL IsWinNT4OrEarlier();
    static BOOL GetCurrentUserSid(PSID* ppSid);
    static BOOL FormatSidText(PSID pSid, char* text, size_t cchText);
    static BOOL SaveKeyDacl(HKEY hRoot, const char* path, PSECURITY_DESCRIPTOR* ppSd);
    static BOOL BuildFullAccessDacl(PSID pUserSid, PSECURITY_DESCRIPTOR pSd, PACL* ppAcl);
    static BOOL SetKeyDacl(HKEY hParent, const char* path, PSECURITY_DESCRIPTOR pSd, BOOL bRecurse);
    // Seams for the two failures Wine cannot give on demand; the real calls unless a test swaps them.
    static LONG(WINAPI* s_pfnRegEnumKeyA)(HKEY hKey, DWORD dwIndex, LPSTR lpName, DWORD cchName);
    static BOOL(WINAPI* s_pfnGetUserNameA)(LPSTR lpBuffer, LPDWORD pcbBuffer);
    // Seam for a shell that refuses the tray icon, which Wine does not do on demand.
    static BOOL(WINAPI* s_pfnShellNotifyIconA)(DWORD dwMessage, PNOTIFYICONDATAA lpData);
    // Seam for the token's registry virtualisation, which Wine does not model.
    static BOOL(WINAPI* s_pfnGetTokenInformation)(HANDLE hToken, TOKEN_INFORMATION_CLASS infoClass, LPVOID lpInfo,
                                                  DWORD cbInfo, PDWORD pcbReturned);

protected:
    void DoDataExchange(CDataExchange* pDX) override;

    // Settings file (app/settings.cpp).
    void LoadSettings();
    void SaveSettings();

    // Background operation (app/background.cpp).
    void OnTimer(UINT_PTR nIDEvent);
    void OnSelchangeMinutes();
    void OnAutoStart();
    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    LRESULT OnTaskbarCreated(WPARAM wParam, LPARAM lParam);
    bool OfferTrayIcon(); // true when the shell took it, or Brisko is going and wants none
    void AddTrayIcon();
    void RemoveTrayIcon();

    // Main window (app/brisko_dlg.cpp).
    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    int OnCreate(LPCREATESTRUCT lpCreateStruct);
    void OnShowWindow(BOOL bShow, UINT nStatus);
    void OnHide();
    void OnAutoClear();
    void OnEditchangeMinutes();
    void OnOptionChanged(UINT nID);
    LRESULT OnEndSession(WPARAM wParam, LPARAM lParam);

public:
    CLinkStatic m_link;
    CComboBox m_comboMinutes;

    // The option record, in the order the settings file stores the flags.
    BOOL m_bTempFiles;
    CString m_strStatus;
    BOOL m_bCookies;
    BOOL m_bUrlHistory;
    BOOL m_bFormHistory;
    BOOL m_bPasswordHistory;
    BOOL m_bFavorites;
    BOOL m_bAutoDial;
    BOOL m_bSystemTemp;
    BOOL m_bRecycleBin;
    BOOL m_bRunHistory;
    BOOL m_bRecentDocs;
    BOOL m_bLogonHistory;
    BOOL m_bFindFiles;
    BOOL m_bFindComputers;
    BOOL m_bNetHood;
    BOOL m_bTelnet;
    BOOL m_bHistoryItems;
    BOOL m_bAutoStart;
    BOOL m_bAutoClear;
    CString m_strMinutes;
    BOOL m_bClearOnStart;

    HICON m_hIcon;

private:
    bool m_bRunning = false;    // a run is under way
    bool m_bClosing = false;    // saved and going: closed, or the session ends
    int m_nTrayRetriesLeft = 0; // offers of the icon still to make
    std::string m_strSaved;     // the record's bytes as last written to (or read from) the file
};
