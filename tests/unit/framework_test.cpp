// The dialog framework where Brisko's own windows cannot show it: dialog init data that is unsound.
// The rest of the framework (data exchange, message maps, reflection, the modal loop) is what the
// end-to-end runs drive in the real window.
#include "framework/afxwin.h"
#include "framework_test.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Records what its list holds once initialised, and ends.
class CListDlg : public CDialog {
public:
    explicit CListDlg(UINT id) : CDialog(id) { DoModal(); }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        char text[64] = "";
        for (int i = 0; ::SendDlgItemMessageA(m_hWnd, IDC_T_COMBO, CB_GETLBTEXT, i, (LPARAM)text) > 0; ++i)
            m_items.push_back(text);
        EndDialog(IDCANCEL);
        return TRUE;
    }
    std::vector<CString> m_items;
};

} // namespace

// Records fill the list in resource order, by the classic message or the framework's own; an
// unsound resource fills what comes before the fault and what is sound after it.
TEST(Framework, InitDataFillsWhatIsSound)
{
    const std::pair<UINT, std::vector<CString>> cases[] = {{IDD_TEST, {"1", "5", "30", "1200"}},
                                                           {IDD_TEST_NOINIT, {}},
                                                           {IDD_TEST_BADID, {"a", "b"}},
                                                           {IDD_TEST_TRUNCATED, {"a"}}};
    for (const auto& c : cases)
        EXPECT_EQ(c.second, CListDlg(c.first).m_items) << c.first;
}
