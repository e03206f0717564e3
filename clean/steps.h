// The cleaning run's step operations, one per catalogue row (step 4 is CBriskoDlg::RemoveFormData).
#pragma once

void CleanTempFiles();       // 1: non-cookie URL cache entries, temporary internet files folder
void CleanCookies();         // 2: cookie URL cache entries, cookies folder
void CleanTypedUrls();       // 3: typed addresses
void CleanIntelliForms();    // 5: password history
void CleanFavorites();       // 6: favourites folder
void CleanAutoDial();        // 7: auto-dial addresses
void CleanSystemTemp();      // 8: system temp folder, desktop.ini included
void EmptyRecycleBin();      // 9: recycle bins of all drives
void CleanRunMru();          // 10: Run-box history
void CleanRecentDocs();      // 11: recent documents folder and key
void CleanLogonNames();      // 12: remembered logon names
void CleanFindFilesMru();    // 13: find-files history
void CleanFindComputerMru(); // 14: find-computer history
void CleanNetHood();         // 15: network shortcuts folder
void CleanTelnetHistory();   // 16: telnet connection history values
void CleanHistoryItems();    // 17: URL history object and history folders
