#include "app/TarvikApp.h"

#include <commctrl.h>

#include "console/TarvikDlg.h"

CMyTarvikApp theApp;

BOOL CMyTarvikApp::InitInstance()
{
    INITCOMMONCONTROLSEX commonControls{};
    commonControls.dwSize = sizeof(commonControls);
    commonControls.dwICC = ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&commonControls);

    CWinApp::InitInstance();

    CMyTarvikDlg dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_pMainWnd = nullptr;
    return FALSE;
}
