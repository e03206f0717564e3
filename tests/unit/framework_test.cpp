// The dialog framework's rules that Brisko's own windows cannot show from outside: data exchange,
// dialog init data, message maps and reflection, against test dialogs of its own.
#include "framework/afxwin.h"
#include "framework_test.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

// A static control attached by DDX_Control that handles its own click and colour.
class CLabel : public CStatic {
    DECLARE_MESSAGE_MAP()

public:
    ~CLabel() override { ::DeleteObject(m_brush); }
    HBRUSH m_brush = ::CreateSolidBrush(RGB(1, 2, 3));
    int m_clicks = 0;
    bool m_attachedDuringPreSubclass = true;
    CString m_seen; // its text and style when it was subclassed

protected:
    void PreSubclassWindow() override
    {
        m_attachedDuringPreSubclass = FromHandlePermanent(m_hWnd) != nullptr;
        GetWindowText(m_seen);
        m_seen += " " + std::to_string(GetStyle() & (SS_TYPEMASK | SS_CENTERIMAGE));
    }
    void OnClicked() { ++m_clicks; }
    HBRUSH CtlColor(CDC*, UINT) { return m_brush; }
};

BEGIN_MESSAGE_MAP(CLabel, CStatic)
    ON_CONTROL_REFLECT(STN_CLICKED, OnClicked)
    ON_WM_CTLCOLOR_REFLECT()
END_MESSAGE_MAP()

// Runs modally; the test's steps run at the end of OnInitDialog, and then it ends.
class CTestDlg : public CDialog {
    DECLARE_MESSAGE_MAP()

public:
    CTestDlg(UINT id, std::function<void(CTestDlg&)> steps) : CDialog(id), m_steps(std::move(steps)) { DoModal(); }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        m_steps(*this);
        EndDialog(IDCANCEL);
        return TRUE;
    }
    HWND Item(int id) const { return GetDlgItem(id); }
    LRESULT Send(UINT message, WPARAM wParam, HWND control)
    {
        return SendMessage(message, wParam, reinterpret_cast<LPARAM>(control));
    }
    std::vector<CString> Items()
    {
        std::vector<CString> items;
        for (int i = 0; i < ::SendMessageA(Item(IDC_T_COMBO), CB_GETCOUNT, 0, 0); ++i) {
            char text[64] = "";
            ::SendMessageA(Item(IDC_T_COMBO), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            items.push_back(text);
        }
        return items;
    }

    CLabel m_label;
    BOOL m_bCheck = 0;
    CString m_strCombo;
    int m_clicks = 0, m_doubleClicks = 0, m_parentLabelClicks = 0;

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        if (m_nIDTemplate != IDD_TEST)
            return;
        DDX_Control(pDX, IDC_T_LABEL, m_label);
        DDX_Check(pDX, IDC_T_CHECK, m_bCheck);
        DDX_CBString(pDX, IDC_T_COMBO, m_strCombo);
    }
    void OnCheckClicked() { ++m_clicks; }
    void OnCheck2DoubleClicked() { ++m_doubleClicks; }
    void OnLabelClicked() { ++m_parentLabelClicks; }

private:
    std::function<void(CTestDlg&)> m_steps;
};

BEGIN_MESSAGE_MAP(CTestDlg, CDialog)
    ON_BN_CLICKED(IDC_T_CHECK, OnCheckClicked)
    ON_CONTROL(BN_DOUBLECLICKED, IDC_T_CHECK2, OnCheck2DoubleClicked)
    ON_STN_CLICKED(IDC_T_LABEL, OnLabelClicked)
END_MESSAGE_MAP()

} // namespace

// A flag shows as its box's state, or unticked and read back as 0 when it is none; the list selects
// the first item that begins with the text, and reads back that item's text or nothing.
TEST(Framework, DataExchangeShowsAndReadsBackWhatTheControlsAllow)
{
    const struct {
        BOOL check;
        const char* combo;
        UINT shown;
        int selected;
        BOOL readCheck;
        const char* readCombo;
    } cases[] = {{1, "3", BST_CHECKED, 2, 1, "30"}, {2, "1", BST_INDETERMINATE, 0, 2, "1"},
                 {5, "12", BST_UNCHECKED, 3, 0, "1200"}, {-1, "7", BST_UNCHECKED, -1, 0, ""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.combo);
        UINT shown = 9;
        int selected = -9;
        HWND label = nullptr;
        CTestDlg dlg(IDD_TEST, [&](CTestDlg& d) {
            d.m_bCheck = c.check;
            d.m_strCombo = c.combo;
            label = d.m_label.m_hWnd;
            d.UpdateData(FALSE);
            shown = static_cast<UINT>(::SendMessageA(d.Item(IDC_T_CHECK), BM_GETCHECK, 0, 0));
            selected = static_cast<int>(::SendMessageA(d.Item(IDC_T_COMBO), CB_GETCURSEL, 0, 0));
            d.UpdateData(TRUE);
            EXPECT_EQ(label, d.m_label.m_hWnd); // attached once
            EXPECT_EQ(&d.m_label, CWnd::FromHandlePermanent(label));
        });
        EXPECT_EQ(c.shown, shown);
        EXPECT_EQ(c.selected, selected);
        EXPECT_EQ(c.readCheck, dlg.m_bCheck);
        EXPECT_EQ(c.readCombo, dlg.m_strCombo);
        EXPECT_NE(nullptr, label);
        EXPECT_FALSE(dlg.m_label.m_attachedDuringPreSubclass);
        EXPECT_EQ("label text 513", dlg.m_label.m_seen); // SS_CENTER | SS_CENTERIMAGE
        EXPECT_EQ(nullptr, dlg.m_label.m_hWnd);          // detached when its window went
    }
}

// The list's records fill it in resource order; an unsound resource fills what comes before the
// fault and what is sound after it.
TEST(Framework, InitDataFillsWhatIsSound)
{
    const struct {
        UINT id;
        std::vector<CString> items;
    } cases[] = {{IDD_TEST, {"1", "5", "30", "1200"}},
                 {IDD_TEST_NOINIT, {}},
                 {IDD_TEST_BADID, {"a", "b"}},
                 {IDD_TEST_TRUNCATED, {"a"}}};
    for (const auto& c : cases) {
        std::vector<CString> items = {"not run"};
        CTestDlg dlg(c.id, [&](CTestDlg& d) { items = d.Items(); });
        EXPECT_EQ(c.items, items) << c.id;
    }
}

// Commands are found by code and id; a child's reflected handler takes its notification from the
// parent, and its brush answers the colour request; other messages get default processing.
TEST(Framework, MessagesReachTheirHandlers)
{
    LRESULT labelBrush = 0, comboBrush = 0;
    char text[32] = "";
    CTestDlg dlg(IDD_TEST, [&](CTestDlg& d) {
        HWND check = d.Item(IDC_T_CHECK), check2 = d.Item(IDC_T_CHECK2);
        d.Send(WM_COMMAND, MAKEWPARAM(IDC_T_CHECK, BN_CLICKED), check);
        d.Send(WM_COMMAND, MAKEWPARAM(IDC_T_CHECK, BN_DOUBLECLICKED), check);  // no entry
        d.Send(WM_COMMAND, MAKEWPARAM(IDC_T_CHECK2, BN_CLICKED), check2);      // no entry
        d.Send(WM_COMMAND, MAKEWPARAM(IDC_T_CHECK2, BN_DOUBLECLICKED), check2);
        d.Send(WM_COMMAND, MAKEWPARAM(IDC_T_LABEL, STN_CLICKED), d.Item(IDC_T_LABEL));
        HDC dc = ::GetDC(d.m_hWnd);
        labelBrush = d.Send(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), d.Item(IDC_T_LABEL));
        comboBrush = d.Send(WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), d.Item(IDC_T_CHECK));
        ::ReleaseDC(d.m_hWnd, dc);
        d.SendMessage(WM_SETTEXT, 0, reinterpret_cast<LPARAM>("renamed"));
        d.SendMessage(WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    });
    EXPECT_EQ(1, dlg.m_clicks);
    EXPECT_EQ(1, dlg.m_doubleClicks);
    EXPECT_EQ(1, dlg.m_label.m_clicks);
    EXPECT_EQ(0, dlg.m_parentLabelClicks);
    EXPECT_EQ(reinterpret_cast<LRESULT>(dlg.m_label.m_brush), labelBrush);
    EXPECT_NE(labelBrush, comboBrush); // a control without a handler gets the dialog's default
    EXPECT_STREQ("renamed", text);
}

TEST(Framework, ProgramNameIsSkippedWithTheBlanksBehindIt)
{
    EXPECT_STREQ("hide", AfxSkipProgramName("C:\\Brisko.exe  hide"));
    EXPECT_STREQ("hide x", AfxSkipProgramName("\"C:\\Program Files\\Brisko\\Brisko.exe\" \thide x"));
    EXPECT_STREQ("", AfxSkipProgramName("Brisko.exe"));
    EXPECT_STREQ("", AfxSkipProgramName(""));
}
