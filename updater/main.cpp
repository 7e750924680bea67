// The program's entry: the one application object runs and ends the process.
#include "Zelvar_FW_Update_Tool.h"

CZelvar_FW_Update_ToolApp theApp;

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int)
{
    theApp.m_hInstance = instance;
    theApp.InitInstance();
    return 0;
}
