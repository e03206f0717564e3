// The dialog framework against dialogs of the tests' own: exchange, maps, reflection, modal loop.
#include "framework/afxwin.h"
#include "framework_test.h"

#include <gtest/gtest.h>

#include <functional>
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
    DWORD m_styleSeen = 0;
    CString m_textSeen;
    std::vector<UINT> m_preTranslated;
    std::function<void()> m_onPreTranslate;

protected:
    void PreSubclassWindow() override
    {
        m_attachedDuringPreSubclass = FromHandlePermanent(m_hWnd) != nullptr;
        m_styleSeen = GetStyle();
        GetWindowText(m_textSeen);
    }
    BOOL PreTranslateMessage(MSG* pMsg) override
    {
        m_preTranslated.push_back(pMsg->message);
        if (pMsg->message == WM_USER + 7 && m_onPreTranslate) {
            m_onPreTranslate();
            return TRUE;
        }
        return FALSE;
    }
    void OnClicked() { ++m_clicks; }
    HBRUSH CtlColor(CDC*, UINT) { return m_brush; }
};

BEGIN_MESSAGE_MAP(CLabel, CStatic)
    ON_CONTROL_REFLECT(STN_CLICKED, OnClicked)
    ON_WM_CTLCOLOR_REFLECT()
END_MESSAGE_MAP()

class CTestDlg : public CDialog {
    DECLARE_MESSAGE_MAP()

public:
    explicit CTestDlg(UINT id = IDD_TEST) : CDialog(id) {}

    std::function<void(CTestDlg&)> m_onInit;
    CLabel m_label;
    BOOL m_bCheck = 0;
    BOOL m_bCheck2 = 0;
    CString m_strText = "text";
    CString m_strCombo = "5";
    int m_checkClicks = 0;
    int m_check2DoubleClicks = 0;
    int m_parentLabelClicks = 0;
    int m_destroyed = 0;
    int m_ok = 0;
    int m_cancel = 0;
    bool m_visibleAtEnd = false;

    using CDialog::EndDialog;

    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        if (m_onInit)
            m_onInit(*this);
        return TRUE;
    }
    BOOL DestroyWindow() override
    {
        ++m_destroyed;
        m_visibleAtEnd = IsWindowVisible(m_hWnd) != FALSE;
        return CDialog::DestroyWindow();
    }
    HWND Item(int id) const { return GetDlgItem(id); }
    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) { return SendMessage(message, wParam, lParam); }

protected:
    void DoDataExchange(CDataExchange* pDX) override
    {
        if (m_nIDTemplate != IDD_TEST)
            return;
        DDX_Control(pDX, IDC_T_LABEL, m_label);
        DDX_Check(pDX, IDC_T_CHECK, m_bCheck);
        DDX_Check(pDX, IDC_T_CHECK2, m_bCheck2);
        DDX_Text(pDX, IDC_T_TEXT, m_strText);
        DDX_CBString(pDX, IDC_T_COMBO, m_strCombo);
    }
    void OnOK() override
    {
        ++m_ok;
        CDialog::OnOK();
    }
    void OnCancel() override
    {
        ++m_cancel;
        CDialog::OnCancel();
    }
    void OnCheckClicked() { ++m_checkClicks; }
    void OnCheck2DoubleClicked() { ++m_check2DoubleClicks; }
    void OnLabelClicked() { ++m_parentLabelClicks; }
};

BEGIN_MESSAGE_MAP(CTestDlg, CDialog)
    ON_BN_CLICKED(IDC_T_CHECK, OnCheckClicked)
    ON_CONTROL(BN_DOUBLECLICKED, IDC_T_CHECK2, OnCheck2DoubleClicked)
    ON_STN_CLICKED(IDC_T_LABEL, OnLabelClicked)
END_MESSAGE_MAP()

// Runs the dialog modally; the test's steps run at the end of OnInitDialog.
INT_PTR RunDialog(CTestDlg& dlg, std::function<void(CTestDlg&)> steps)
{
    dlg.m_onInit = std::move(steps);
    return dlg.DoModal();
}

CString ComboText(HWND combo, int index)
{
    char text[64] = "";
    ::SendMessageA(combo, CB_GETLBTEXT, (WPARAM)index, (LPARAM)text);
    return text;
}

std::vector<CString> ComboItems(HWND combo)
{
    std::vector<CString> items;
    int count = (int)::SendMessageA(combo, CB_GETCOUNT, 0, 0);
    for (int i = 0; i < count; ++i)
        items.push_back(ComboText(combo, i));
    return items;
}

} // namespace

TEST(DataExchange, FlagsOutsideTheCheckRangeShowUntickedAndBecomeZero)
{
    for (int stored : {5, -1, 3}) {
        CTestDlg dlg;
        dlg.m_bCheck = stored;
        dlg.m_bCheck2 = 1;
        UINT shown = 99;
        RunDialog(dlg, [&](CTestDlg& d) {
            shown = (UINT)::SendMessageA(d.Item(IDC_T_CHECK), BM_GETCHECK, 0, 0);
            d.EndDialog(IDCANCEL);
        });
        EXPECT_EQ((UINT)BST_UNCHECKED, shown) << stored;
        EXPECT_EQ(0, dlg.m_bCheck) << stored;
        EXPECT_EQ(1, dlg.m_bCheck2);
    }
}

TEST(DataExchange, ChecksAndTextRoundTrip)
{
    CTestDlg dlg;
    dlg.m_strText = "Deleting cookies...";
    RunDialog(dlg, [](CTestDlg& d) {
        EXPECT_EQ(BST_UNCHECKED, ::SendMessageA(d.Item(IDC_T_CHECK), BM_GETCHECK, 0, 0));
        char text[64];
        ::GetWindowTextA(d.Item(IDC_T_TEXT), text, sizeof text);
        EXPECT_STREQ("Deleting cookies...", text);
        ::SendMessageA(d.Item(IDC_T_CHECK), BM_SETCHECK, BST_CHECKED, 0);
        ::SetWindowTextA(d.Item(IDC_T_TEXT), "Finished!");
        d.UpdateData(TRUE);
        d.EndDialog(IDCANCEL);
    });
    EXPECT_EQ(1, dlg.m_bCheck);
    EXPECT_EQ("Finished!", dlg.m_strText);
}

TEST(DataExchange, ComboSelectsTheFirstItemBeginningWithTheText)
{
    struct Case {
        const char* stored;
        int selected;
        const char* readBack;
    } cases[] = {{"3", 2, "30"}, {"12", 4, "1200"}, {"1", 0, "1"}, {"7", -1, ""}};
    for (const Case& c : cases) {
        CTestDlg dlg;
        dlg.m_strCombo = c.stored;
        int selected = -2;
        RunDialog(dlg, [&](CTestDlg& d) {
            selected = (int)::SendMessageA(d.Item(IDC_T_COMBO), CB_GETCURSEL, 0, 0);
            d.UpdateData(TRUE);
            d.EndDialog(IDCANCEL);
        });
        EXPECT_EQ(c.selected, selected) << c.stored;
        EXPECT_EQ(c.readBack, dlg.m_strCombo) << c.stored;
    }
}

TEST(DataExchange, ChosenItemReadsBackItsText)
{
    CTestDlg dlg;
    RunDialog(dlg, [](CTestDlg& d) {
        ::SendMessageA(d.Item(IDC_T_COMBO), CB_SETCURSEL, 3, 0);
        d.UpdateData(TRUE);
        d.EndDialog(IDCANCEL);
    });
    EXPECT_EQ("60", dlg.m_strCombo);
}

TEST(DataExchange, ControlIsAttachedOnceAndPreSubclassSeesItFirst)
{
    CTestDlg dlg;
    HWND firstLabel = nullptr;
    RunDialog(dlg, [&](CTestDlg& d) {
        firstLabel = d.m_label.m_hWnd;
        d.UpdateData(FALSE);
        d.UpdateData(TRUE);
        EXPECT_EQ(firstLabel, d.m_label.m_hWnd);
        EXPECT_EQ(&d.m_label, CWnd::FromHandlePermanent(firstLabel));
        d.EndDialog(IDCANCEL);
    });
    EXPECT_EQ(dlg.Item(IDC_T_LABEL), nullptr); // the dialog is gone
    EXPECT_NE(nullptr, firstLabel);
    EXPECT_FALSE(dlg.m_label.m_attachedDuringPreSubclass);
    EXPECT_EQ("label text", dlg.m_label.m_textSeen);
    EXPECT_EQ((DWORD)(SS_CENTER | SS_CENTERIMAGE), dlg.m_label.m_styleSeen & (SS_TYPEMASK | SS_CENTERIMAGE));
    EXPECT_EQ(nullptr, dlg.m_label.m_hWnd); // detached when its window went
}

TEST(InitData, FillsTheListInResourceOrder)
{
    CTestDlg dlg;
    std::vector<CString> items;
    RunDialog(dlg, [&](CTestDlg& d) {
        items = ComboItems(d.Item(IDC_T_COMBO));
        d.EndDialog(IDCANCEL);
    });
    EXPECT_EQ((std::vector<CString>{"1", "5", "30", "60", "1200"}), items);
}

TEST(InitData, UnsoundResourcesFillWhatIsSound)
{
    struct Case {
        UINT id;
        std::vector<CString> items;
    } cases[] = {{IDD_TEST_NOINIT, {}}, {IDD_TEST_BADID, {"a", "b"}}, {IDD_TEST_TRUNCATED, {"a"}}};
    for (const Case& c : cases) {
        CTestDlg dlg(c.id);
        std::vector<CString> items;
        INT_PTR result = RunDialog(dlg, [&](CTestDlg& d) {
            items = ComboItems(d.Item(IDC_T_COMBO));
            d.EndDialog(IDCANCEL);
        });
        EXPECT_EQ(IDCANCEL, result);
        EXPECT_EQ(c.items, items) << c.id;
    }
}

TEST(MessageMap, CommandsAreFoundByCodeAndId)
{
    CTestDlg dlg;
    RunDialog(dlg, [](CTestDlg& d) {
        HWND check = d.Item(IDC_T_CHECK), check2 = d.Item(IDC_T_CHECK2);
        d.Send(WM_COMMAND, MAKEWPARAM(IDC_T_CHECK, BN_CLICKED), (LPARAM)check);
        d.Send(WM_COMMAND, MAKEWPARAM(IDC_T_CHECK, BN_DOUBLECLICKED), (LPARAM)check); // no entry
        d.Send(WM_COMMAND, MAKEWPARAM(IDC_T_CHECK2, BN_CLICKED), (LPARAM)check2);     // no entry
        d.Send(WM_COMMAND, MAKEWPARAM(IDC_T_CHECK2, BN_DOUBLECLICKED), (LPARAM)check2);
        d.EndDialog(IDCANCEL);
    });
    EXPECT_EQ(1, dlg.m_checkClicks);
    EXPECT_EQ(1, dlg.m_check2DoubleClicks);
}

TEST(MessageMap, UnhandledMessagesGetDefaultProcessing)
{
    CTestDlg dlg;
    RunDialog(dlg, [](CTestDlg& d) {
        d.Send(WM_SETTEXT, 0, (LPARAM) "renamed");
        char text[32] = "";
        d.Send(WM_GETTEXT, sizeof text, (LPARAM)text);
        EXPECT_STREQ("renamed", text);
        d.EndDialog(IDCANCEL);
    });
}

TEST(Reflection, ChildHandlesItsNotificationAndTheParentDoesNot)
{
    CTestDlg dlg;
    RunDialog(dlg, [](CTestDlg& d) {
        HWND label = d.Item(IDC_T_LABEL);
        d.Send(WM_COMMAND, MAKEWPARAM(IDC_T_LABEL, STN_CLICKED), (LPARAM)label);
        d.EndDialog(IDCANCEL);
    });
    EXPECT_EQ(1, dlg.m_label.m_clicks);
    EXPECT_EQ(0, dlg.m_parentLabelClicks);
}

TEST(Reflection, ChildBrushAnswersTheColourRequest)
{
    CTestDlg dlg;
    LRESULT labelBrush = 0, textBrush = 0;
    RunDialog(dlg, [&](CTestDlg& d) {
        HDC dc = ::GetDC(d.m_hWnd);
        labelBrush = d.Send(WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)d.Item(IDC_T_LABEL));
        textBrush = d.Send(WM_CTLCOLORSTATIC, (WPARAM)dc, (LPARAM)d.Item(IDC_T_TEXT));
        ::ReleaseDC(d.m_hWnd, dc);
        d.EndDialog(IDCANCEL);
    });
    EXPECT_EQ((LRESULT)dlg.m_label.m_brush, labelBrush);
    EXPECT_NE(labelBrush, textBrush); // an unattached static gets the dialog's default
}

TEST(ModalLoop, ChildPreTranslateSeesMessagesAimedAtIt)
{
    CTestDlg dlg;
    INT_PTR result = RunDialog(dlg, [](CTestDlg& d) {
        d.m_label.m_onPreTranslate = [&d] { d.EndDialog(42); };
        ::PostMessageA(d.Item(IDC_T_LABEL), WM_USER + 7, 0, 0);
    });
    EXPECT_EQ(42, result);
    EXPECT_EQ(1, dlg.m_destroyed);
}

TEST(ModalLoop, EscapeEndsThroughOnCancelAndDestroysOnce)
{
    CTestDlg dlg;
    dlg.m_strText = "before";
    INT_PTR result = RunDialog(dlg, [](CTestDlg& d) {
        ::SetWindowTextA(d.Item(IDC_T_TEXT), "typed");
        ::SetFocus(d.Item(IDC_T_CHECK));
        ::PostMessageA(d.Item(IDC_T_CHECK), WM_KEYDOWN, VK_ESCAPE, 0);
    });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(1, dlg.m_cancel);
    EXPECT_EQ(0, dlg.m_ok);
    EXPECT_EQ(1, dlg.m_destroyed);
    EXPECT_EQ("before", dlg.m_strText); // cancelling reads nothing back
}

TEST(ModalLoop, EnterOnACheckBoxEndsThroughOnOkWhichReadsTheControls)
{
    CTestDlg dlg;
    INT_PTR result = RunDialog(dlg, [](CTestDlg& d) {
        ::SendMessageA(d.Item(IDC_T_CHECK2), BM_SETCHECK, BST_CHECKED, 0);
        ::SetFocus(d.Item(IDC_T_CHECK));
        ::PostMessageA(d.Item(IDC_T_CHECK), WM_KEYDOWN, VK_RETURN, 0);
    });
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(1, dlg.m_ok);
    EXPECT_EQ(1, dlg.m_bCheck2);
    EXPECT_EQ(1, dlg.m_destroyed);
}

TEST(ModalLoop, CloseBoxEndsThroughOnCancel)
{
    CTestDlg dlg;
    INT_PTR result = RunDialog(dlg, [](CTestDlg& d) { ::PostMessageA(d.m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0); });
    EXPECT_EQ(IDCANCEL, result);
    EXPECT_EQ(1, dlg.m_cancel);
    EXPECT_EQ(1, dlg.m_destroyed);
}

TEST(ModalLoop, TemplateWithoutVisibleIsShownAfterInitUnlessInitHidOrEndedIt)
{
    const struct {
        const char* what;
        void (*init)(CTestDlg&);
        bool visible;
    } cases[] = {
        {"nothing", [](CTestDlg&) {}, true},
        {"hid", [](CTestDlg& d) { d.ShowWindow(SW_HIDE); }, false},
        {"ended", [](CTestDlg& d) { d.EndDialog(IDOK); }, false},
    };
    for (const auto& c : cases) {
        CTestDlg dlg(IDD_TEST_NOINIT);
        RunDialog(dlg, [&c](CTestDlg& d) {
            c.init(d);
            ::PostMessageA(d.m_hWnd, WM_COMMAND, IDCANCEL, 0);
        });
        EXPECT_EQ(c.visible, dlg.m_visibleAtEnd) << c.what;
        EXPECT_EQ(1, dlg.m_destroyed) << c.what;
    }
}

TEST(Application, ProgramNameIsSkippedWithTheBlanksBehindIt)
{
    EXPECT_STREQ("hide", AfxSkipProgramName("C:\\Brisko.exe  hide"));
    EXPECT_STREQ("hide x", AfxSkipProgramName("\"C:\\Program Files\\Brisko\\Brisko.exe\" hide x"));
    EXPECT_STREQ("", AfxSkipProgramName("Brisko.exe"));
    EXPECT_STREQ("", AfxSkipProgramName(""));
}
