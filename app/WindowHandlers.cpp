// The main dialog's handlers for the window itself: the About entry of the system menu, the icon
// painted while minimised, and the icon shown while dragging.
#include "app/AboutDlg.h"
#include "console/TarvikDlg.h"
#include "res/resource.h"

void CMyTarvikDlg::OnSysCommand(UINT id, LPARAM lParam)
{
    if ((id & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about;
        about.DoModal();
    } else {
        CDialogEx::OnSysCommand(id, lParam);
    }
}

void CMyTarvikDlg::OnPaint()
{
    if (!IsIconic()) {
        CDialogEx::OnPaint();
        return;
    }
    PAINTSTRUCT paint;
    HDC context = ::BeginPaint(m_hWnd, &paint);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(context), 0);
    const int iconWidth = ::GetSystemMetrics(SM_CXICON);
    const int iconHeight = ::GetSystemMetrics(SM_CYICON);
    RECT client;
    ::GetClientRect(m_hWnd, &client);
    const int x = (client.right - client.left - iconWidth + 1) / 2;
    const int y = (client.bottom - client.top - iconHeight + 1) / 2;
    ::DrawIcon(context, x, y, iconHandle);
    ::EndPaint(m_hWnd, &paint);
}

HCURSOR CMyTarvikDlg::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(iconHandle);
}
