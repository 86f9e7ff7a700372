// The main dialog: binds the operator console to its controls, timers and the serial port.
#pragma once

#include "framework/Dialog.h"
#include "link/Win32SerialLine.h"
#include "ports/Win32PortSystem.h"
#include "view/Console.h"
#include "view/ConsoleView.h"

class CMyTarvikDlg : public CDialogEx, public ConsoleView {
public:
    CMyTarvikDlg();

    std::string ControlText(int controlId) const override;
    void SetControlText(int controlId, const std::string& text) override;
    void ReplaceEditText(int controlId, const std::string& text) override;
    void EnableControl(int controlId, bool enable) override;
    void AppendLog(const std::string& text, bool clearFirst) override;
    void AppendLogWithSystemText(const std::string& lead, const std::string& systemText,
                                 const std::string& tail) override;
    void StartTimer(unsigned timerId, unsigned periodMs) override;
    void StopTimer(unsigned timerId) override;
    void ResetPortEntries() override;
    void AddPortEntry(const std::string& text) override;
    void SelectPortEntry(int index) override;
    int SelectedPortEntry() const override;
    std::string PortEntryText(int index) const override;

protected:
    void DoDataExchange(CDataExchange* exchange) override;
    BOOL OnInitDialog() override;

    void OnSysCommand(UINT id, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnEnterPressed();
    void OnTempOffsetInputChange();
    void OnHumOffsetInputChange();
    void OnSetTempOffsetClicked();
    void OnSetHumOffsetClicked();
    void OnContinuousClicked();
    void OnOpenClicked();
    void OnPortDropDown();
    void OnReadClicked();
    void OnTimer(UINT_PTR timerId);
    DECLARE_MESSAGE_MAP()

private:
    void AddAboutMenuEntry();
    void SetWindowIcons();
    void SetInitialInputTexts();
    void ShowPaneEnd();
    void LimitInputLengths();
    void SetReadOutFonts();
    void AppendPaneLine(const std::wstring& text, bool clearFirst);

    HICON iconHandle;
    CEdit infoEdit;
    CComboBox portCombo;
    CEdit temperatureEdit;
    CEdit humidityEdit;
    CButton readButton;
    CButton setTempOffsetButton;
    CButton setHumOffsetButton;
    CButton continuousButton;
    CEdit tempOffsetEdit;
    CEdit humOffsetEdit;
    CEdit addressEdit;
    CEdit typeEdit;
    CEdit hwVersionEdit;
    CEdit swVersionEdit;
    CEdit rangeFromEdit;
    CEdit rangeToEdit;
    CEdit sensorAddressEdit;
    CEdit tempOffsetInput;
    CEdit humOffsetInput;
    // The read-out fonts must outlive the edits that show them; the dialog object outlives its window.
    CFont temperatureFont;
    CFont humidityFont;

    Win32SerialLine serialLine;
    Win32PortSystem portSystem;
    Console console{*this, serialLine, portSystem};
};
