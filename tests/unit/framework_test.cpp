// The dialog framework where Brisko's own windows cannot show it: dialog init data, sound or not. The
// rest of it (data exchange, message maps, reflection, the modal loop) the end-to-end runs drive.
#include "framework/afxwin.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Records what its list (1004) holds once initialised, and ends.
class CListDlg : public CDialog {
public:
    explicit CListDlg(UINT id) : CDialog(id) { DoModal(); }
    BOOL OnInitDialog() override
    {
        CDialog::OnInitDialog();
        char text[64] = "";
        for (int i = 0; ::SendDlgItemMessageA(m_hWnd, 1004, CB_GETLBTEXT, i, (LPARAM)text) > 0; ++i)
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
    const std::pair<UINT, std::vector<CString>> cases[] = {{200, {"1", "5", "30", "1200"}}, {201, {"a", "b"}}};
    for (const auto& c : cases)
        EXPECT_EQ(c.second, CListDlg(c.first).m_items) << c.first;
}
