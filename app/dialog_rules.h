// Rules of the main window that need no window: the timer period, the start-up entry, icon centring.
#pragma once

#include <windows.h>

#include <string>

// A command line (after the program name) that starts Brisko hidden: its first character is "h".
bool IsHiddenStart(const char* cmdLine);

// The auto-clear period for the minutes text ("%d" times one minute); false when the text gives no
// positive number, and then there is no period to start a timer with.
bool MinutesToPeriod(const char* minutes, UINT& period);

// The start-up entry's data for the program's full path: the path in quotes, two blanks and "hide".
std::wstring StartupEntryData(const std::wstring& path);
// Whether an entry's data starts the program at that path: the path first, quoted or (the old form)
// not, in any case of letters, then the end or a blank.
bool EntryStartsProgram(const wchar_t* data, const std::wstring& path);

// Where an icon of the given extent starts when centred in a client extent; truncates toward zero.
int CentredIconOrigin(int clientExtent, int iconExtent);
