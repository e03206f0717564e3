// Rules of the main window that need no window: the timer period, the start-up entry, icon centring.
#pragma once

#include <windows.h>

#include <string>

// A command line (after the program name) that starts Brisko hidden: its first character is "h".
bool IsHiddenStart(const char* cmdLine);

// GetModuleFileNameA's limit for the start-up entry's path.
const DWORD kStartupPathLimit = 150;

// The auto-clear period for the minutes text ("%d" times one minute); false when the text gives no
// positive number, and then there is no period to start a timer with.
bool MinutesToPeriod(const char* minutes, UINT& period);

// The start-up entry's data for the path GetModuleFileNameA gave with the given limit and result:
// the path, two blanks and "hide"; a path with a blank is quoted. False (data empty) when the call
// failed or truncated the path.
bool StartupEntryData(const char* path, DWORD length, DWORD limit, std::string& data);

// Where an icon of the given extent starts when centred in a client extent; truncates toward zero.
int CentredIconOrigin(int clientExtent, int iconExtent);
