// A modal dialog on a resource template with a static message map, in the style of the classic
// class-library dialogs the program is written against.
#pragma once

#include <windows.h>

#include "framework/Controls.h"

class CDialogEx;

// One handler per entry; the member that is set tells what the handler takes and gives.
struct MessageMapEntry {
    UINT message;
    UINT notificationCode;
    UINT controlId;
    void (CDialogEx::*command)() = nullptr;
    void (CDialogEx::*sysCommand)(UINT id, LPARAM lParam) = nullptr;
    HCURSOR (CDialogEx::*queryDragIcon)() = nullptr;
    void (CDialogEx::*timer)(UINT_PTR id) = nullptr;
};

struct MessageMap {
    const MessageMap* base;
    const MessageMapEntry* entries;  // ends with an entry whose message is 0
};

#define DECLARE_MESSAGE_MAP()                         \
protected:                                            \
    static const MessageMap* GetThisMessageMap();     \
    const MessageMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                                  \
    const MessageMap* theClass::GetMessageMap() const { return GetThisMessageMap(); }           \
    const MessageMap* theClass::GetThisMessageMap()                                             \
    {                                                                                           \
        using ThisClass = theClass;                                                             \
        using TheBaseClass = baseClass;                                                         \
        static const MessageMapEntry entries[] = {
#define END_MESSAGE_MAP()                                                         \
            {0, 0, 0}};                     \
        static const MessageMap map = {TheBaseClass::GetThisMessageMap(), entries}; \
        return &map;                                                              \
    }

#define ON_BN_CLICKED(id, handler) {WM_COMMAND, BN_CLICKED, id, static_cast<void (CDialogEx::*)()>(&handler)},
#define ON_EN_CHANGE(id, handler) {WM_COMMAND, EN_CHANGE, id, static_cast<void (CDialogEx::*)()>(&handler)},
#define ON_CBN_DROPDOWN(id, handler) {WM_COMMAND, CBN_DROPDOWN, id, static_cast<void (CDialogEx::*)()>(&handler)},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, static_cast<void (CDialogEx::*)()>(&ThisClass::OnPaint)},
#define ON_WM_SYSCOMMAND() \
    {WM_SYSCOMMAND, 0, 0, nullptr, static_cast<void (CDialogEx::*)(UINT, LPARAM)>(&ThisClass::OnSysCommand)},
#define ON_WM_QUERYDRAGICON() \
    {WM_QUERYDRAGICON, 0, 0, nullptr, nullptr, static_cast<HCURSOR (CDialogEx::*)()>(&ThisClass::OnQueryDragIcon)},
#define ON_WM_TIMER() \
    {WM_TIMER, 0, 0, nullptr, nullptr, nullptr, static_cast<void (CDialogEx::*)(UINT_PTR)>(&ThisClass::OnTimer)},

class CDialogEx : public CWnd {
public:
    CDialogEx(UINT templateId, CWnd* parent = nullptr);
    virtual ~CDialogEx() = default;

    // Runs the dialog until EndDialog; returns its result (-1 when the template cannot be created).
    INT_PTR DoModal();
    void EndDialog(INT_PTR result);

    static const MessageMap* GetThisMessageMap();

protected:
    virtual const MessageMap* GetMessageMap() const;
    virtual void DoDataExchange(CDataExchange* exchange);
    virtual BOOL OnInitDialog();

    void OnOK();
    void OnCancel();
    void OnPaint();
    void OnSysCommand(UINT id, LPARAM lParam);
    void OnTimer(UINT_PTR id);
    // Leaves the message being handled to the system's default dialog processing.
    void Default();

    HMENU GetSystemMenu() const;
    void SetIcon(HICON icon, BOOL big);
    void SetTimer(UINT_PTR id, UINT periodMs);
    void KillTimer(UINT_PTR id);
    BOOL IsIconic() const;

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    const MessageMapEntry* FindEntry(UINT message, UINT code, UINT id) const;
    INT_PTR Dispatch(const MessageMapEntry& entry, WPARAM wParam, LPARAM lParam);
    void ReportEscapedError(const char* text);

    UINT templateId;
    CWnd* parent;
    bool defaultRequested = false;
};
