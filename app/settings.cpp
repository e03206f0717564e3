// Loading and saving the option record: the dialog's side of the settings file.
#include "app/brisko_dlg.h"

#include "app/settings_file.h"

#include <utility>

namespace {

// The stored flags in file order: 1017, 1020 to 1037, then 1039.
BOOL CBriskoDlg::*const kStoredFlags[kSettingsFlagCount] = {
    &CBriskoDlg::m_bTempFiles,   &CBriskoDlg::m_bCookies,         &CBriskoDlg::m_bUrlHistory,
    &CBriskoDlg::m_bFormHistory, &CBriskoDlg::m_bPasswordHistory, &CBriskoDlg::m_bFavorites,
    &CBriskoDlg::m_bAutoDial,    &CBriskoDlg::m_bSystemTemp,      &CBriskoDlg::m_bRecycleBin,
    &CBriskoDlg::m_bRunHistory,  &CBriskoDlg::m_bRecentDocs,      &CBriskoDlg::m_bLogonHistory,
    &CBriskoDlg::m_bFindFiles,   &CBriskoDlg::m_bFindComputers,   &CBriskoDlg::m_bNetHood,
    &CBriskoDlg::m_bTelnet,      &CBriskoDlg::m_bHistoryItems,    &CBriskoDlg::m_bAutoStart,
    &CBriskoDlg::m_bAutoClear,   &CBriskoDlg::m_bClearOnStart,
};

SettingsRecord RecordOf(const CBriskoDlg& dlg)
{
    SettingsRecord record;
    for (size_t i = 0; i < kSettingsFlagCount; ++i)
        record.flags[i] = dlg.*kStoredFlags[i];
    record.minutes = dlg.m_strMinutes;
    return record;
}

} // namespace

void CBriskoDlg::LoadSettings()
{
    char name[kSettingsNameSize];
    if (!SettingsFileName(name))
        return;
    SettingsRecord record = RecordOf(*this);
    if (!ReadSettingsFile(name, record))
        return;
    for (size_t i = 0; i < kSettingsFlagCount; ++i)
        this->*kStoredFlags[i] = record.flags[i];
    m_strMinutes = record.minutes;
    m_strSaved = EncodeSettings(record);
}

void CBriskoDlg::SaveSettings()
{
    UpdateData(TRUE);
    const SettingsRecord record = RecordOf(*this);
    std::string bytes = EncodeSettings(record);
    char name[kSettingsNameSize];
    // Saved often, written only for a change: a timer run must not rewrite the file every minute.
    if (bytes == m_strSaved || !SettingsFileName(name))
        return;
    if (WriteSettingsFile(name, record))
        m_strSaved = std::move(bytes);
}
