// The cleaning run: the step catalogue, run in table order, with its status line.
#include "app/brisko_dlg.h"

#include "clean/folder_wiper.h"
#include "clean/steps.h"

#include <new>
#include <string>

namespace {

struct CatalogueRow {
    BOOL CBriskoDlg::*flag;
    const char* message;
    void (*step)();
    const char* name; // short, for the final message, in the steps that wipe folders
};

// The status line holds one line of about this many characters.
constexpr size_t kStatusChars = 35;

// The run order is this table's order, not the order of the boxes on screen.
const CatalogueRow kCatalogue[] = {
    {&CBriskoDlg::m_bTempFiles, "Deleting internet temp files...", CleanTempFiles, "cache"},
    {&CBriskoDlg::m_bCookies, "Deleting cookies...", CleanCookies, "cookies"},
    {&CBriskoDlg::m_bUrlHistory, "Deleting URL history...", CleanTypedUrls, nullptr},
    {&CBriskoDlg::m_bFormHistory, "Deleting form history...", CBriskoDlg::RemoveFormData, nullptr},
    {&CBriskoDlg::m_bPasswordHistory, "Deleting password history...", CleanIntelliForms, nullptr},
    {&CBriskoDlg::m_bFavorites, "Deleting my favorite...", CleanFavorites, "favorites"},
    {&CBriskoDlg::m_bAutoDial, "Deleting auto dial history...", CleanAutoDial, nullptr},
    {&CBriskoDlg::m_bSystemTemp, "Deleting system temp directory...", CleanSystemTemp, "temp"},
    {&CBriskoDlg::m_bRecycleBin, "Clear recycle bin...", EmptyRecycleBin, nullptr},
    {&CBriskoDlg::m_bRunHistory, "Clear history of run command...", CleanRunMru, nullptr},
    {&CBriskoDlg::m_bRecentDocs, "Clear recent documents...", CleanRecentDocs, "recent"},
    {&CBriskoDlg::m_bLogonHistory, "Clear logon history...", CleanLogonNames, nullptr},
    {&CBriskoDlg::m_bFindFiles, "Clear finding files history...", CleanFindFilesMru, nullptr},
    {&CBriskoDlg::m_bFindComputers, "Clear finding computers history...", CleanFindComputerMru, nullptr},
    {&CBriskoDlg::m_bNetHood, "Clear network link objects...", CleanNetHood, "nethood"},
    {&CBriskoDlg::m_bTelnet, "Clear remote logon history...", CleanTelnetHistory, nullptr},
    {&CBriskoDlg::m_bHistoryItems, "Clear internet history items...", CleanHistoryItems, "history"},
};

// "Finished!" when every ticked step did its work; else also the steps whose folder was refused or
// out of reach, and how many entries stayed in use, within the status line's one line.
std::string FinalMessage(const std::string& skipped, int skippedSteps, unsigned inUse)
{
    std::string message = "Finished!";
    const std::string used = inUse ? std::to_string(inUse) + " in use" : std::string();
    if (skippedSteps) {
        message += " Skipped: " + skipped;
        if (message.size() + (used.empty() ? 0 : used.size() + 2) > kStatusChars)
            message = "Finished! Skipped " + std::to_string(skippedSteps) + " steps";
    }
    return used.empty() ? message : message + (skippedSteps ? "; " : " ") + used;
}

} // namespace

void CBriskoDlg::RunClean()
{
    UpdateData(TRUE);
    WipeRun wipes;
    std::string skipped;
    int skippedSteps = 0;
    for (const CatalogueRow& row : kCatalogue) {
        if (this->*row.flag) {
            SetStatus(row.message);
            // Memory running out ends the step, not the run: no exception leaves a window procedure.
            try {
                row.step();
                if (wipes.TakeSkipped() && row.name)
                    skipped += (skippedSteps++ ? ", " : "") + std::string(row.name);
            } catch (const std::bad_alloc&) {
            }
        }
    }
    try {
        SetStatus(FinalMessage(skipped, skippedSteps, wipes.InUse()).c_str());
    } catch (const std::bad_alloc&) {
        SetStatus("Finished!");
    }
}

void CBriskoDlg::SetStatus(const char* text)
{
    m_strStatus = text;
    UpdateData(FALSE);
    // The run dispatches no messages, so the status line is painted now or not until the run ends.
    if (HWND status = GetDlgItem(IDC_STATUS))
        ::UpdateWindow(status);
}
