#include "framework/Dialog.h"

#include <exception>
#include <string>

#include "framework/Application.h"
#include "framework/Text.h"

const MessageMap* CDialogEx::GetThisMessageMap()
{
    static const MessageMapEntry entries[] = {
        {WM_COMMAND, BN_CLICKED, IDOK, &CDialogEx::OnOK},
        {WM_COMMAND, BN_CLICKED, IDCANCEL, &CDialogEx::OnCancel},
        {0, 0, 0}};
    static const MessageMap map = {nullptr, entries};
    return &map;
}

const MessageMap* CDialogEx::GetMessageMap() const
{
    return GetThisMessageMap();
}

CDialogEx::CDialogEx(UINT templateId, CWnd* parent) : templateId(templateId), parent(parent) {}

INT_PTR CDialogEx::DoModal()
{
    // Without a parent of its own a dialog is owned by the application's main window, which it thereby
    // disables for as long as it runs.
    const CWnd* mainWindow = AfxGetApp() ? AfxGetApp()->m_pMainWnd : nullptr;
    const HWND owner = parent ? parent->m_hWnd : (mainWindow != this && mainWindow ? mainWindow->m_hWnd : nullptr);
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(templateId), owner, &CDialogEx::DialogProc,
                             reinterpret_cast<LPARAM>(this));
}

void CDialogEx::EndDialog(INT_PTR result)
{
    ::EndDialog(m_hWnd, result);
}

void CDialogEx::DoDataExchange(CDataExchange*) {}

BOOL CDialogEx::OnInitDialog()
{
    CDataExchange exchange{m_hWnd};
    DoDataExchange(&exchange);
    return TRUE;
}

void CDialogEx::OnOK()
{
    EndDialog(IDOK);
}

void CDialogEx::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialogEx::OnPaint()
{
    Default();
}

void CDialogEx::OnSysCommand(UINT, LPARAM)
{
    Default();
}

void CDialogEx::OnTimer(UINT_PTR)
{
    Default();
}

void CDialogEx::Default()
{
    defaultRequested = true;
}

HMENU CDialogEx::GetSystemMenu() const
{
    return ::GetSystemMenu(m_hWnd, FALSE);
}

void CDialogEx::SetIcon(HICON icon, BOOL big)
{
    SendMessage(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

void CDialogEx::SetTimer(UINT_PTR id, UINT periodMs)
{
    ::SetTimer(m_hWnd, id, periodMs, nullptr);
}

void CDialogEx::KillTimer(UINT_PTR id)
{
    ::KillTimer(m_hWnd, id);
}

BOOL CDialogEx::IsIconic() const
{
    return ::IsIconic(m_hWnd);
}

const MessageMapEntry* CDialogEx::FindEntry(UINT message, UINT code, UINT id) const
{
    for (const MessageMap* map = GetMessageMap(); map; map = map->base) {
        for (const MessageMapEntry* entry = map->entries; entry->message != 0; ++entry) {
            if (entry->message == message && entry->notificationCode == code && entry->controlId == id) return entry;
        }
    }
    return nullptr;
}

INT_PTR CDialogEx::Dispatch(const MessageMapEntry& entry, WPARAM wParam, LPARAM lParam)
{
    // Handlers nest (an edit's change notification re-enters from inside a handler), so each dispatch
    // keeps its own record of whether its handler asked for the default processing.
    const bool outerDefaultRequested = defaultRequested;
    defaultRequested = false;
    INT_PTR result = TRUE;
    try {
        if (entry.command)
            (this->*entry.command)();
        else if (entry.sysCommand)
            (this->*entry.sysCommand)(static_cast<UINT>(wParam), lParam);
        else if (entry.queryDragIcon)
            result = reinterpret_cast<INT_PTR>((this->*entry.queryDragIcon)());
        else if (entry.timer)
            (this->*entry.timer)(static_cast<UINT_PTR>(wParam));
    } catch (const std::exception& error) {
        ReportEscapedError(error.what());
    } catch (...) {
        ReportEscapedError("未知错误。");
    }
    if (defaultRequested) result = FALSE;
    defaultRequested = outerDefaultRequested;
    return result;
}

// An error that escapes a handler is shown to the operator, and the dialog goes on.
void CDialogEx::ReportEscapedError(const char* text)
{
    ::MessageBoxW(m_hWnd, WideFromProgramText(text).c_str(), L"Tarvik", MB_OK | MB_ICONERROR);
}

INT_PTR CALLBACK CDialogEx::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CDialogEx*>(lParam);
        ::SetWindowLongPtrW(window, DWLP_USER, lParam);
        dialog->m_hWnd = window;
        try {
            return dialog->OnInitDialog();
        } catch (const std::exception& error) {
            dialog->ReportEscapedError(error.what());
            return TRUE;
        }
    }
    auto* dialog = reinterpret_cast<CDialogEx*>(::GetWindowLongPtrW(window, DWLP_USER));
    if (!dialog) return FALSE;
    if (message == WM_NCDESTROY) {
        dialog->m_hWnd = nullptr;
        return FALSE;
    }
    const bool isCommand = message == WM_COMMAND;
    const MessageMapEntry* entry =
        dialog->FindEntry(message, isCommand ? HIWORD(wParam) : 0, isCommand ? LOWORD(wParam) : 0);
    return entry ? dialog->Dispatch(*entry, wParam, lParam) : FALSE;
}
