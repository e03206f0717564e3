// Loaded into Brisko's thread by the run test: each new text of the status line holds that thread
// until the test's watcher window (class "BriskoStatusWatcher") has read the line from outside.
#include "res/resource.h"

#include <windows.h>

extern "C" __declspec(dllexport) LRESULT CALLBACK StatusHook(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPRETSTRUCT* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_SETTEXT && GetDlgCtrlID(sent->hwnd) == IDC_STATUS) {
        if (HWND watcher = FindWindowExA(HWND_MESSAGE, nullptr, "BriskoStatusWatcher", nullptr))
            SendMessageA(watcher, WM_APP, reinterpret_cast<WPARAM>(sent->hwnd), 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
