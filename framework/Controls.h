// Thin wrappers of the window and control handles the dialogs use. Texts are code page 936.
#pragma once

#include <windows.h>

#include <string>

class CFont;

class CWnd {
public:
    HWND m_hWnd = nullptr;

    void Attach(HWND window) { m_hWnd = window; }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
    std::string GetWindowText() const;
    void SetWindowText(const std::string& text);
    void EnableWindow(bool enable);
    void SetFont(CFont* font, BOOL redraw = TRUE);
};

class CEdit : public CWnd {
public:
    void SetSel(int start, int end);
    void ScrollCaret();
    void ReplaceSel(const std::string& text, BOOL canUndo = FALSE);
    void ReplaceSel(const std::wstring& text, BOOL canUndo = FALSE);
    void LimitText(int maxCharacters);
    int GetLineCount() const;
    int LineIndex(int line) const;
    int LineLength(int characterIndex) const;
};

class CButton : public CWnd {};

class CComboBox : public CWnd {
public:
    void ResetContent();
    // Entries are the system's texts (port names), so they go in and out as UTF-16.
    int AddString(const std::wstring& text);
    int SetCurSel(int index);
    int GetCurSel() const;
    std::wstring GetLBText(int index) const;
};

// Owns its GDI font; the font must outlive every control it was given to.
class CFont {
public:
    CFont() = default;
    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;
    ~CFont();

    BOOL CreateFont(int height, int width, int escapement, int orientation, int weight, BYTE italic, BYTE underline,
                    BYTE strikeOut, BYTE charSet, BYTE outPrecision, BYTE clipPrecision, BYTE quality,
                    BYTE pitchAndFamily, const char* faceName);
    HFONT GetSafeHandle() const { return handle; }

private:
    HFONT handle = nullptr;
};

// Binds a wrapper to the dialog's control with that id.
void BindDialogItem(HWND dialog, int controlId, CWnd& control);

// A wrapper of the dialog's control with that id, for an operation asked for by id.
template <class Wrapper>
Wrapper DialogItem(HWND dialog, int controlId)
{
    Wrapper control;
    BindDialogItem(dialog, controlId, control);
    return control;
}

struct CDataExchange {
    HWND dialog;
};
void DDX_Control(CDataExchange* exchange, int controlId, CWnd& control);
