#include "framework/Controls.h"

#include "framework/Text.h"

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const
{
    return ::SendMessageW(m_hWnd, message, wParam, lParam);
}

std::string CWnd::GetWindowText() const
{
    const int length = ::GetWindowTextLengthW(m_hWnd);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = ::GetWindowTextW(m_hWnd, text.data(), length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return ProgramTextFromWide(text);
}

void CWnd::SetWindowText(const std::string& text)
{
    ::SetWindowTextW(m_hWnd, WideFromProgramText(text).c_str());
}

void CWnd::EnableWindow(bool enable)
{
    ::EnableWindow(m_hWnd, enable ? TRUE : FALSE);
}

void CWnd::SetFont(CFont* font, BOOL redraw)
{
    SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(font->GetSafeHandle()), redraw);
}

void CEdit::SetSel(int start, int end)
{
    SendMessage(EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
}

void CEdit::ScrollCaret()
{
    SendMessage(EM_SCROLLCARET);
}

void CEdit::ReplaceSel(const std::string& text, BOOL canUndo)
{
    ReplaceSel(WideFromProgramText(text), canUndo);
}

void CEdit::ReplaceSel(const std::wstring& text, BOOL canUndo)
{
    SendMessage(EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(text.c_str()));
}

void CEdit::LimitText(int maxCharacters)
{
    SendMessage(EM_LIMITTEXT, static_cast<WPARAM>(maxCharacters));
}

int CEdit::GetLineCount() const
{
    return static_cast<int>(SendMessage(EM_GETLINECOUNT));
}

int CEdit::LineIndex(int line) const
{
    return static_cast<int>(SendMessage(EM_LINEINDEX, static_cast<WPARAM>(line)));
}

int CEdit::LineLength(int characterIndex) const
{
    return static_cast<int>(SendMessage(EM_LINELENGTH, static_cast<WPARAM>(characterIndex)));
}

void CComboBox::ResetContent()
{
    SendMessage(CB_RESETCONTENT);
}

int CComboBox::AddString(const std::wstring& text)
{
    return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

int CComboBox::SetCurSel(int index)
{
    return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index)));
}

int CComboBox::GetCurSel() const
{
    return static_cast<int>(SendMessage(CB_GETCURSEL));
}

std::wstring CComboBox::GetLBText(int index) const
{
    const LRESULT length = SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (length == CB_ERR) return std::wstring();
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const LRESULT copied = SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == CB_ERR ? 0 : static_cast<size_t>(copied));
    return text;
}

CFont::~CFont()
{
    if (handle) ::DeleteObject(handle);
}

BOOL CFont::CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic, BYTE underline,
                       BYTE strikeOut, BYTE charSet, BYTE outPrecision, BYTE clipPrecision, BYTE quality,
                       BYTE pitchAndFamily, const char* faceName)
{
    if (handle) ::DeleteObject(handle);
    handle = ::CreateFontW(height, width, escapement, orientation, weight, italic, underline, strikeOut, charSet,
                           outPrecision, clipPrecision, quality, pitchAndFamily,
                           WideFromProgramText(faceName).c_str());
    return handle != nullptr;
}

void BindDialogItem(HWND dialog, int controlId, CWnd& control)
{
    control.Attach(::GetDlgItem(dialog, controlId));
}

void DDX_Control(CDataExchange* exchange, int controlId, CWnd& control)
{
    BindDialogItem(exchange->dialog, controlId, control);
}
