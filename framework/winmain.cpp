// The program's entry point: hands the command line after the program name to the application.
#include "framework/afxwin.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    return AfxWinMain(hInstance, AfxSkipProgramName(::GetCommandLineA()));
}
