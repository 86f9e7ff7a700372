#include "console/TarvikDlg.h"

#include "console/Commands.h"
#include "framework/Text.h"
#include "link/LinkState.h"
#include "link/SerialChannel.h"
#include "link/Transactions.h"
#include "res/resource.h"
#include "view/Buttons.h"

namespace {
// Past this many laid-out rows the information pane starts afresh with the next line.
constexpr int kPaneRowLimit = 200;
}

CMyTarvikDlg::CMyTarvikDlg()
    : CDialogEx(IDD_TARVIK_DIALOG),
      iconHandle(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)))
{
}

void CMyTarvikDlg::DoDataExchange(CDataExchange* exchange)
{
    CDialogEx::DoDataExchange(exchange);
    DDX_Control(exchange, IDC_INFO_EDIT, infoEdit);
    DDX_Control(exchange, IDC_PORT_COMBO, portCombo);
    DDX_Control(exchange, IDC_TEMPERATURE_EDIT, temperatureEdit);
    DDX_Control(exchange, IDC_HUMIDITY_EDIT, humidityEdit);
    DDX_Control(exchange, IDC_READ_BUTTON, readButton);
    DDX_Control(exchange, IDC_SET_TEMP_OFFSET_BUTTON, setTempOffsetButton);
    DDX_Control(exchange, IDC_SET_HUM_OFFSET_BUTTON, setHumOffsetButton);
    DDX_Control(exchange, IDC_CONTINUOUS_BUTTON, continuousButton);
    DDX_Control(exchange, IDC_TEMP_OFFSET_EDIT, tempOffsetEdit);
    DDX_Control(exchange, IDC_HUM_OFFSET_EDIT, humOffsetEdit);
    DDX_Control(exchange, IDC_ADDRESS_EDIT, addressEdit);
    DDX_Control(exchange, IDC_TYPE_EDIT, typeEdit);
    DDX_Control(exchange, IDC_HW_VERSION_EDIT, hwVersionEdit);
    DDX_Control(exchange, IDC_SW_VERSION_EDIT, swVersionEdit);
    DDX_Control(exchange, IDC_RANGE_FROM_EDIT, rangeFromEdit);
    DDX_Control(exchange, IDC_RANGE_TO_EDIT, rangeToEdit);
    DDX_Control(exchange, IDC_SENSOR_ADDRESS_EDIT, sensorAddressEdit);
    DDX_Control(exchange, IDC_TEMP_OFFSET_INPUT, tempOffsetInput);
    DDX_Control(exchange, IDC_HUM_OFFSET_INPUT, humOffsetInput);
}

BEGIN_MESSAGE_MAP(CMyTarvikDlg, CDialogEx)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDOK, CMyTarvikDlg::OnEnterPressed)
    ON_EN_CHANGE(IDC_TEMP_OFFSET_INPUT, CMyTarvikDlg::OnTempOffsetInputChange)
    ON_BN_CLICKED(IDC_SET_TEMP_OFFSET_BUTTON, CMyTarvikDlg::OnSetTempOffsetClicked)
    ON_BN_CLICKED(IDC_SET_HUM_OFFSET_BUTTON, CMyTarvikDlg::OnSetHumOffsetClicked)
    ON_BN_CLICKED(IDC_CONTINUOUS_BUTTON, CMyTarvikDlg::OnContinuousClicked)
    ON_BN_CLICKED(IDC_OPEN_BUTTON, CMyTarvikDlg::OnOpenClicked)
    ON_EN_CHANGE(IDC_HUM_OFFSET_INPUT, CMyTarvikDlg::OnHumOffsetInputChange)
    ON_CBN_DROPDOWN(IDC_PORT_COMBO, CMyTarvikDlg::OnPortDropDown)
    ON_BN_CLICKED(IDC_READ_BUTTON, CMyTarvikDlg::OnReadClicked)
    ON_WM_TIMER()
END_MESSAGE_MAP()

BOOL CMyTarvikDlg::OnInitDialog()
{
    CDialogEx::OnInitDialog();
    AddAboutMenuEntry();
    SetWindowIcons();
    EnableCommandButtons(*this, false);
    SetInitialInputTexts();
    ShowPaneEnd();
    ::OnPortDropDown(console);
    LimitInputLengths();
    SetReadOutFonts();
    return TRUE;
}

void CMyTarvikDlg::AddAboutMenuEntry()
{
    HMENU systemMenu = GetSystemMenu();
    if (!systemMenu) return;
    const std::wstring aboutText = ResourceString(IDS_ABOUTBOX);
    if (aboutText.empty()) return;
    ::AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(systemMenu, MF_STRING, IDM_ABOUTBOX, aboutText.c_str());
}

void CMyTarvikDlg::SetWindowIcons()
{
    SetIcon(iconHandle, TRUE);
    SetIcon(iconHandle, FALSE);
}

void CMyTarvikDlg::SetInitialInputTexts()
{
    ReplaceEditText(IDC_SENSOR_ADDRESS_EDIT, "1");
    ReplaceEditText(IDC_RANGE_FROM_EDIT, "1");
    ReplaceEditText(IDC_RANGE_TO_EDIT, "2");
    ReplaceEditText(IDC_TEMP_OFFSET_INPUT, "0");
    ReplaceEditText(IDC_HUM_OFFSET_INPUT, "0");
}

void CMyTarvikDlg::ShowPaneEnd()
{
    infoEdit.SetSel(-1, -1);
    infoEdit.ScrollCaret();
}

void CMyTarvikDlg::LimitInputLengths()
{
    tempOffsetInput.LimitText(5);
    humOffsetInput.LimitText(5);
    sensorAddressEdit.LimitText(2);
    rangeFromEdit.LimitText(2);
    rangeToEdit.LimitText(2);
}

void CMyTarvikDlg::SetReadOutFonts()
{
    struct ReadOut {
        CEdit& edit;
        CFont& font;
    };
    for (ReadOut readOut : {ReadOut{temperatureEdit, temperatureFont}, ReadOut{humidityEdit, humidityFont}}) {
        if (!readOut.font.CreateFont(45, 16, 0, 0, FW_THIN, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, FF_SWISS | DEFAULT_PITCH, "Arial"))
            continue;
        readOut.edit.SetFont(&readOut.font, FALSE);
        readOut.edit.SetFont(&readOut.font, TRUE);
    }
}

// Enter arrives as IDOK; handling it without action keeps the dialog open.
void CMyTarvikDlg::OnEnterPressed() {}

void CMyTarvikDlg::OnTempOffsetInputChange()
{
    FilterOffsetText(console, IDC_TEMP_OFFSET_INPUT);
}

void CMyTarvikDlg::OnHumOffsetInputChange()
{
    FilterOffsetText(console, IDC_HUM_OFFSET_INPUT);
}

void CMyTarvikDlg::OnSetTempOffsetClicked()
{
    ::OnSetTempOffsetClicked(console);
}

void CMyTarvikDlg::OnSetHumOffsetClicked()
{
    ::OnSetHumOffsetClicked(console);
}

void CMyTarvikDlg::OnContinuousClicked()
{
    ::OnContinuousClicked(console);
}

void CMyTarvikDlg::OnOpenClicked()
{
    ::OnOpenClicked(console);
}

void CMyTarvikDlg::OnPortDropDown()
{
    ::OnPortDropDown(console);
}

void CMyTarvikDlg::OnReadClicked()
{
    ::OnReadClicked(console);
}

void CMyTarvikDlg::OnTimer(UINT_PTR timerId)
{
    if (timerId >= kReadCheckTimer && timerId <= kWriteCheckTimer)
        AdvanceExchange(console, static_cast<unsigned>(timerId));
    else
        CDialogEx::OnTimer(timerId);
}

std::string CMyTarvikDlg::ControlText(int controlId) const
{
    return DialogItem<CWnd>(m_hWnd, controlId).GetWindowText();
}

void CMyTarvikDlg::SetControlText(int controlId, const std::string& text)
{
    DialogItem<CWnd>(m_hWnd, controlId).SetWindowText(text);
}

void CMyTarvikDlg::ReplaceEditText(int controlId, const std::string& text)
{
    CEdit edit = DialogItem<CEdit>(m_hWnd, controlId);
    edit.SetSel(0, -1);
    edit.ScrollCaret();
    edit.ReplaceSel(text, FALSE);
}

void CMyTarvikDlg::EnableControl(int controlId, bool enable)
{
    DialogItem<CWnd>(m_hWnd, controlId).EnableWindow(enable);
}

void CMyTarvikDlg::AppendLog(const std::string& text, bool clearFirst)
{
    AppendPaneLine(WideFromProgramText(text), clearFirst);
}

void CMyTarvikDlg::AppendLogWithSystemText(const std::string& lead, const std::string& systemText,
                                           const std::string& tail)
{
    AppendPaneLine(WideFromProgramText(lead) + WideFromUtf8(systemText) + WideFromProgramText(tail), kAppendToPane);
}

void CMyTarvikDlg::AppendPaneLine(const std::wstring& text, bool clearFirst)
{
    const int lineCount = infoEdit.GetLineCount();
    const int lastLineStart = infoEdit.LineIndex(lineCount - 1);
    const int end = lastLineStart + infoEdit.LineLength(lastLineStart);
    if (lineCount > kPaneRowLimit)
        infoEdit.SetSel(0, -1);
    else
        infoEdit.SetSel(end, end);
    infoEdit.ScrollCaret();
    if (clearFirst) {
        infoEdit.SetSel(0, -1);
        infoEdit.ScrollCaret();
    }
    infoEdit.ReplaceSel(text + L"\r\n", FALSE);
}

void CMyTarvikDlg::StartTimer(unsigned timerId, unsigned periodMs)
{
    SetTimer(timerId, periodMs);
}

void CMyTarvikDlg::StopTimer(unsigned timerId)
{
    KillTimer(timerId);
}

void CMyTarvikDlg::ResetPortEntries()
{
    portCombo.ResetContent();
}

void CMyTarvikDlg::AddPortEntry(const std::string& text)
{
    portCombo.AddString(WideFromUtf8(text));
}

void CMyTarvikDlg::SelectPortEntry(int index)
{
    portCombo.SetCurSel(index);
}

int CMyTarvikDlg::SelectedPortEntry() const
{
    return portCombo.GetCurSel();
}

std::string CMyTarvikDlg::PortEntryText(int index) const
{
    return Utf8FromWide(portCombo.GetLBText(index));
}
