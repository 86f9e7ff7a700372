// What the operator console needs from the main dialog: texts and states of its controls by id,
// the information pane, the port drop-down and the dialog's window timers.
// The Win32 dialog implements it; host tests implement it with a fake.
#pragma once

#include <string>

// AppendLog's clearFirst: the line goes after the pane's text, or replaces it.
constexpr bool kAppendToPane = false;
constexpr bool kClearPaneFirst = true;

class ConsoleView {
public:
    virtual ~ConsoleView() = default;

    // Whole text or caption of a control (code page 936).
    virtual std::string ControlText(int controlId) const = 0;
    // Replaces a control's whole text at once (captions; an edit's text written back by the filter,
    // which raises the edit's change notification before it returns).
    virtual void SetControlText(int controlId, const std::string& text) = 0;
    // Select all, scroll the caret into view, replace the selection (not undoable).
    virtual void ReplaceEditText(int controlId, const std::string& text) = 0;
    virtual void EnableControl(int controlId, bool enable) = 0;

    // One line (text + "\r\n") into the information pane; see the dialog for the 200-line rule.
    virtual void AppendLog(const std::string& text, bool clearFirst) = 0;
    // One line, appended, that carries a text from the system (UTF-8, as the port records hold it)
    // between the program's own lead and tail (code page 936).
    virtual void AppendLogWithSystemText(const std::string& lead, const std::string& systemText,
                                         const std::string& tail) = 0;

    virtual void StartTimer(unsigned timerId, unsigned periodMs) = 0;
    virtual void StopTimer(unsigned timerId) = 0;

    // The port drop-down: entries in order, the selection (-1 when none) and an entry's text, which is
    // the system's (UTF-8).
    virtual void ResetPortEntries() = 0;
    virtual void AddPortEntry(const std::string& text) = 0;
    virtual void SelectPortEntry(int index) = 0;
    virtual int SelectedPortEntry() const = 0;
    virtual std::string PortEntryText(int index) const = 0;
};
