// The cleaning run: the step catalogue, run in table order, with its status line.
#include "app/brisko_dlg.h"

#include "clean/steps.h"

#include <new>

namespace {

struct CatalogueRow {
    BOOL CBriskoDlg::*flag;
    const char* message;
    void (*step)();
};

// The run order is this table's order, not the order of the boxes on screen.
const CatalogueRow kCatalogue[] = {
    {&CBriskoDlg::m_bTempFiles, "Deleting internet temp files...", CleanTempFiles},
    {&CBriskoDlg::m_bCookies, "Deleting cookies...", CleanCookies},
    {&CBriskoDlg::m_bUrlHistory, "Deleting URL history...", CleanTypedUrls},
    {&CBriskoDlg::m_bFormHistory, "Deleting form history...", CBriskoDlg::RemoveFormData},
    {&CBriskoDlg::m_bPasswordHistory, "Deleting password history...", CleanIntelliForms},
    {&CBriskoDlg::m_bFavorites, "Deleting my favorite...", CleanFavorites},
    {&CBriskoDlg::m_bAutoDial, "Deleting auto dial history...", CleanAutoDial},
    {&CBriskoDlg::m_bSystemTemp, "Deleting system temp directory...", CleanSystemTemp},
    {&CBriskoDlg::m_bRecycleBin, "Clear recycle bin...", EmptyRecycleBin},
    {&CBriskoDlg::m_bRunHistory, "Clear history of run command...", CleanRunMru},
    {&CBriskoDlg::m_bRecentDocs, "Clear recent documents...", CleanRecentDocs},
    {&CBriskoDlg::m_bLogonHistory, "Clear logon history...", CleanLogonNames},
    {&CBriskoDlg::m_bFindFiles, "Clear finding files history...", CleanFindFilesMru},
    {&CBriskoDlg::m_bFindComputers, "Clear finding computers history...", CleanFindComputerMru},
    {&CBriskoDlg::m_bNetHood, "Clear network link objects...", CleanNetHood},
    {&CBriskoDlg::m_bTelnet, "Clear remote logon history...", CleanTelnetHistory},
    {&CBriskoDlg::m_bHistoryItems, "Clear internet history items...", CleanHistoryItems},
};

} // namespace

void CBriskoDlg::RunClean()
{
    UpdateData(TRUE);
    for (const CatalogueRow& row : kCatalogue) {
        if (this->*row.flag) {
            SetStatus(row.message);
            // Memory running out ends the step, not the run: no exception leaves a window procedure.
            try {
                row.step();
            } catch (const std::bad_alloc&) {
            }
        }
    }
    SetStatus("Finished!");
}

void CBriskoDlg::SetStatus(const char* text)
{
    m_strStatus = text;
    UpdateData(FALSE);
    // The run dispatches no messages, so the status line is painted now or not until the run ends.
    if (HWND status = GetDlgItem(IDC_STATUS))
        ::UpdateWindow(status);
}
