// The application object: one global instance whose InitInstance runs the program's modal dialog.
#pragma once

#include <windows.h>

class CWnd;

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp() = default;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Returns FALSE to end the process once the dialog has closed.
    virtual BOOL InitInstance();

    CWnd* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();
