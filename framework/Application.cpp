#include "framework/Application.h"

namespace {
CWinApp* theApplication = nullptr;
}

CWinApp::CWinApp()
{
    theApplication = this;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

CWinApp* AfxGetApp()
{
    return theApplication;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    AfxGetApp()->InitInstance();
    return 0;
}
