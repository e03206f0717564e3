// min_dialog.exe: Brisko's main dialog template with a plain DialogBox and nothing else, the
// yardstick of what our framework and initialisation add to start-up.
#include "res/resource.h"

#include <windows.h>

#include <cstring>

namespace {

const WORD kDialogInitType = 240;

// Sends the dialog init data's messages (control id, message, length, bytes) as the framework does.
void ApplyInitData(HWND dialog)
{
    HINSTANCE instance = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(IDD_MAIN_DIALOG), MAKEINTRESOURCEA(kDialogInitType));
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const BYTE* data = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (!data)
        return;
    const BYTE* const end = data + SizeofResource(instance, found);
    while (data + 8 <= end) {
        WORD control, message;
        DWORD length;
        std::memcpy(&control, data, 2);
        if (control == 0)
            break;
        std::memcpy(&message, data + 2, 2);
        std::memcpy(&length, data + 4, 4);
        data += 8;
        if (data + length > end)
            break;
        SendDlgItemMessageA(dialog, control, message, 0, reinterpret_cast<LPARAM>(data));
        data += length;
    }
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        ApplyInitData(dialog);
        return TRUE;
    case WM_CLOSE:
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK)
            EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN_DIALOG), nullptr, DialogProc, 0);
    return 0;
}
