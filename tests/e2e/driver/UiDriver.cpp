// Drives a running Tarvik.exe from outside, the way an operator would, through its control ids.
//
// One command per line on stdin (UTF-8, arguments separated by single spaces; inside an argument
// "\s" is a space, "\n", "\r", "\t" and "\\" the usual characters), one reply per line on stdout:
// "ok", "ok <JSON value>" or "error <text>". Every wait polls its condition under a ceiling.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

const DWORD kPollMs = 10;
const DWORD kCeilingMs = 20000;
const wchar_t kMainCaption[] = L"Tarvik";

struct DriverError {
    std::string text;
};

[[noreturn]] void Fail(const std::string& text)
{
    throw DriverError{text};
}

std::wstring Widen(const std::string& utf8)
{
    if (utf8.empty())
        return std::wstring();
    int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(length, L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
    return wide;
}

std::string Narrow(const std::wstring& wide)
{
    if (wide.empty())
        return std::string();
    int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                       nullptr);
    std::string utf8(length, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], length, nullptr, nullptr);
    return utf8;
}

std::string Json(const std::string& utf8)
{
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
    }
    return out + "\"";
}

std::string Json(const std::wstring& wide)
{
    return Json(Narrow(wide));
}

std::string Json(bool value)
{
    return value ? "true" : "false";
}

std::string Json(long long value)
{
    return std::to_string(value);
}

std::string DecodeArgument(const std::string& raw)
{
    std::string out;
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] != '\\' || i + 1 == raw.size()) {
            out += raw[i];
            continue;
        }
        switch (raw[++i]) {
        case 's': out += ' '; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        default: out += raw[i]; break;
        }
    }
    return out;
}

std::vector<std::string> SplitCommand(const std::string& line)
{
    std::vector<std::string> words;
    size_t start = 0;
    while (start <= line.size()) {
        size_t end = line.find(' ', start);
        if (end == std::string::npos)
            end = line.size();
        if (end > start)
            words.push_back(DecodeArgument(line.substr(start, end - start)));
        start = end + 1;
    }
    return words;
}

long long ParseNumber(const std::string& text)
{
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0')
        Fail("not a number: " + text);
    return value;
}

// Our own thread's queue has to be pumped so that SendMessageCallback completions arrive.
void PumpOwnMessages()
{
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

template <class Condition>
bool PollUntil(Condition condition, DWORD ceilingMs = kCeilingMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (::GetTickCount() - start > ceilingMs)
            return false;
        PumpOwnMessages();
    }
}

std::wstring WindowClass(HWND window)
{
    wchar_t name[64] = L"";
    ::GetClassNameW(window, name, 64);
    return name;
}

std::wstring WindowText(HWND window)
{
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kCeilingMs, &length))
        Fail("window does not answer");
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    ::SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(&text[0]), SMTO_NORMAL, kCeilingMs,
                          &copied);
    text.resize(copied);
    return text;
}

LRESULT SendChecked(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kCeilingMs, &result))
        Fail("window does not answer");
    return static_cast<LRESULT>(result);
}

class Session {
public:
    ~Session()
    {
        if (process)
            ::CloseHandle(process);
    }

    std::string Execute(const std::vector<std::string>& words);

private:
    HWND mainWindow = nullptr;
    HWND target = nullptr;  // the main dialog, or the dialog that a `use popup` chose
    HANDLE process = nullptr;
    DWORD processId = 0;
    DWORD threadId = 0;
    ULONG_PTR lastSendSerial = 0;
    ULONG_PTR completedSendSerial = 0;

    void RequireWindow() const;
    HWND Control(const std::string& id) const;
    HWND FindPopup() const;
    HWND FindMainWindow() const;
    void Adopt(HWND window);
    HWND FocusWindow() const;
    std::string SendWatchingForModal(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    bool MenuOpen() const;
    std::string PickLastSystemMenuEntry();
    std::string Launch(const std::wstring& path);
    std::string Key(const std::string& name);
    std::string Children() const;
    std::string Items(HWND combo) const;
    std::string Paste(HWND control, const std::wstring& text);
    static void CALLBACK SendDone(HWND, UINT, ULONG_PTR data, LRESULT);
};

Session* activeSession = nullptr;

void Session::RequireWindow() const
{
    if (!mainWindow)
        Fail("no program");
    if (!::IsWindow(target))
        Fail("the window is gone");
}

HWND Session::Control(const std::string& id) const
{
    RequireWindow();
    HWND control = ::GetDlgItem(target, static_cast<int>(ParseNumber(id)));
    if (!control)
        Fail("no control " + id);
    return control;
}

struct WindowSearch {
    const wchar_t* className;
    HWND exclude;
    HWND found;
};

BOOL CALLBACK MatchWindowOfClass(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<WindowSearch*>(data);
    if (window != search->exclude && ::IsWindowVisible(window) && WindowClass(window) == search->className) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

// A visible top-level window of the program's one thread, of the given class.
HWND FindWindowOfThread(DWORD threadId, const wchar_t* className, HWND exclude = nullptr)
{
    WindowSearch search{className, exclude, nullptr};
    ::EnumThreadWindows(threadId, &MatchWindowOfClass, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The About box and message boxes are the dialogs of the program's thread besides the main one.
HWND Session::FindPopup() const
{
    return FindWindowOfThread(threadId, L"#32770", mainWindow);
}

struct MainSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK MatchMainWindow(HWND window, LPARAM data)
{
    auto* search = reinterpret_cast<MainSearch*>(data);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && ::IsWindowVisible(window) && WindowClass(window) == L"#32770") {
        wchar_t caption[64] = L"";
        ::GetWindowTextW(window, caption, 64);
        if (std::wcscmp(caption, kMainCaption) == 0) {
            search->found = window;
            return FALSE;
        }
    }
    return TRUE;
}

HWND Session::FindMainWindow() const
{
    MainSearch search{processId, nullptr};
    ::EnumWindows(&MatchMainWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void Session::Adopt(HWND window)
{
    mainWindow = target = window;
    threadId = ::GetWindowThreadProcessId(window, &processId);
}

std::string Session::Launch(const std::wstring& path)
{
    if (process)
        Fail("already launched");
    std::wstring commandLine = L"\"" + path + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        Fail("cannot start " + Narrow(path) + " (error " + std::to_string(::GetLastError()) + ")");
    ::CloseHandle(info.hThread);
    process = info.hProcess;
    processId = info.dwProcessId;
    HWND found = nullptr;
    if (!PollUntil([&] { return (found = FindMainWindow()) != nullptr || ::WaitForSingleObject(process, 0) == 0; }))
        Fail("no main window appeared");
    if (!found)
        Fail("the program ended before showing its window");
    Adopt(found);
    return "ok " + Json(static_cast<long long>(processId));
}

HWND Session::FocusWindow() const
{
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(threadId, &info))
        return nullptr;
    return info.hwndFocus;
}

void CALLBACK Session::SendDone(HWND, UINT, ULONG_PTR data, LRESULT)
{
    if (activeSession)
        activeSession->completedSendSerial = data;
}

// Sends a message that may start a modal loop in the program (a command's message box, the About
// box): the reply comes when the handler is done, or as soon as the modal dialog shows.
std::string Session::SendWatchingForModal(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const HWND popupBefore = FindPopup();
    const ULONG_PTR serial = ++lastSendSerial;
    if (!::SendMessageCallbackW(window, message, wParam, lParam, &Session::SendDone, serial))
        Fail("cannot send to the window");
    HWND popup = nullptr;
    if (!PollUntil([&] {
            popup = FindPopup();
            return completedSendSerial == serial || (popup && popup != popupBefore) || !::IsWindow(mainWindow);
        }))
        Fail("the program did not finish handling the message");
    if (completedSendSerial == serial)
        return "ok";
    if (!::IsWindow(mainWindow))
        return "ok " + Json(std::string("closed"));
    return "ok " + Json(std::string("modal"));
}

// Posted input is handled by the program's own message loop, in order. A posted change of the
// dialog's default-button id to one that names no control marks the end of that input: once the
// dialog reports it, everything posted before has been handled. The id is then put back.
class QueueMarker {
public:
    explicit QueueMarker(HWND window) : root(::GetAncestor(window, GA_ROOT))
    {
        const LRESULT id = SendChecked(root, DM_GETDEFID, 0, 0);
        defaultId = HIWORD(id) == DC_HASDEFID ? LOWORD(id) : 0;
    }

    // Replies "ok", or "ok \"closed\"" when the input closed the dialog.
    std::string PostAndWait()
    {
        const WORD kMarkerId = 0xFFFE;
        ::PostMessageW(root, DM_SETDEFID, kMarkerId, 0);
        bool gone = false;
        if (!PollUntil([&] {
                DWORD_PTR now = 0;
                gone = !::SendMessageTimeoutW(root, DM_GETDEFID, 0, 0, SMTO_NORMAL, kCeilingMs, &now);
                return gone || (HIWORD(now) == DC_HASDEFID && LOWORD(now) == kMarkerId);
            }))
            Fail("the program did not handle the posted input");
        if (gone || !::SendMessageTimeoutW(root, DM_SETDEFID, defaultId, 0, SMTO_NORMAL, kCeilingMs, nullptr))
            return "ok " + Json(std::string("closed"));
        return "ok";
    }

private:
    HWND root;
    WORD defaultId;
};

void PostKey(HWND receiver, UINT key)
{
    const LPARAM scan = static_cast<LPARAM>(::MapVirtualKeyW(key, MAPVK_VK_TO_VSC)) << 16;
    ::PostMessageW(receiver, WM_KEYDOWN, key, scan | 1);
    ::PostMessageW(receiver, WM_KEYUP, key, scan | 1 | 0xC0000000);
}

std::string Session::Key(const std::string& name)
{
    RequireWindow();
    UINT key = 0;
    if (name == "enter")
        key = VK_RETURN;
    else if (name == "escape")
        key = VK_ESCAPE;
    else
        Fail("unknown key " + name);
    HWND focus = FocusWindow();
    HWND receiver = focus ? focus : target;
    QueueMarker marker(receiver);
    PostKey(receiver, key);
    return marker.PostAndWait();
}

bool Session::MenuOpen() const
{
    return FindWindowOfThread(threadId, L"#32768") != nullptr;
}

// Opens the system menu as Alt+Space does and chooses its last entry with the arrow keys and
// Enter. Menus of another process cannot be read under Wine, so the entry is reached as a keyboard
// user reaches it. Replies with the caption of the dialog that the entry opened.
std::string Session::PickLastSystemMenuEntry()
{
    RequireWindow();
    ::PostMessageW(mainWindow, WM_SYSCOMMAND, SC_KEYMENU, L' ');
    if (!PollUntil([&] { return MenuOpen(); }))
        Fail("the system menu did not open");
    PostKey(mainWindow, VK_UP);
    PostKey(mainWindow, VK_RETURN);
    HWND popup = nullptr;
    if (!PollUntil([&] { return (popup = FindPopup()) != nullptr; }))
        Fail("the last system menu entry opened no dialog");
    return "ok " + Json(WindowText(popup));
}

BOOL CALLBACK CollectChild(HWND window, LPARAM data)
{
    reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
    return TRUE;
}

std::string Session::Children() const
{
    RequireWindow();
    std::vector<HWND> children;
    ::EnumChildWindows(target, &CollectChild, reinterpret_cast<LPARAM>(&children));
    std::string out = "[";
    for (HWND child : children) {
        if (out.size() > 1)
            out += ",";
        out += "{\"id\":" + Json(static_cast<long long>(static_cast<short>(::GetDlgCtrlID(child)))) +
               ",\"class\":" + Json(WindowClass(child)) +
               ",\"style\":" + Json(static_cast<long long>(::GetWindowLongW(child, GWL_STYLE) & 0xFFFFFFFF)) +
               ",\"text\":" + Json(WindowText(child)) +
               ",\"enabled\":" + Json(::IsWindowEnabled(child) != FALSE) +
               ",\"visible\":" + Json(::IsWindowVisible(child) != FALSE) + "}";
    }
    return "ok " + out + "]";
}

std::string Session::Items(HWND combo) const
{
    const LRESULT count = SendChecked(combo, CB_GETCOUNT, 0, 0);
    std::string out = "[";
    for (LRESULT i = 0; i < count; ++i) {
        const LRESULT length = SendChecked(combo, CB_GETLBTEXTLEN, i, 0);
        std::wstring item(length + 1, L'\0');
        SendChecked(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&item[0]));
        item.resize(length);
        out += (i ? "," : "") + Json(item);
    }
    return "ok " + out + "]";
}

// Pasting goes through the clipboard like the operator's Ctrl+V would.
std::string Session::Paste(HWND control, const std::wstring& text)
{
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory)
        Fail("out of memory");
    std::memcpy(::GlobalLock(memory), text.c_str(), bytes);
    ::GlobalUnlock(memory);
    if (!::OpenClipboard(nullptr)) {
        ::GlobalFree(memory);
        Fail("cannot open the clipboard");
    }
    ::EmptyClipboard();
    const bool placed = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    ::CloseClipboard();
    if (!placed) {
        ::GlobalFree(memory);
        Fail("cannot fill the clipboard");
    }
    SendChecked(control, WM_PASTE, 0, 0);
    return "ok";
}

HKEY ParseRoot(std::wstring& path)
{
    struct Root {
        const wchar_t* prefix;
        HKEY key;
    };
    const Root roots[] = {{L"HKLM\\", HKEY_LOCAL_MACHINE}, {L"HKCU\\", HKEY_CURRENT_USER}};
    for (const Root& root : roots) {
        if (path.compare(0, std::wcslen(root.prefix), root.prefix) == 0) {
            path.erase(0, std::wcslen(root.prefix));
            return root.key;
        }
    }
    Fail("registry path must start with HKLM\\ or HKCU\\");
}

std::string RegistrySet(const std::string& keyPath, const std::string& name, const std::string& value)
{
    std::wstring path = Widen(keyPath);
    HKEY root = ParseRoot(path);
    HKEY key = nullptr;
    if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        Fail("cannot create " + keyPath);
    const std::wstring wideName = Widen(name);
    const std::wstring wideValue = Widen(value);
    const LONG status =
        ::RegSetValueExW(key, wideName.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wideValue.c_str()),
                         static_cast<DWORD>((wideValue.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        Fail("cannot set " + keyPath + " " + name);
    return "ok";
}

std::string RegistryDeleteTree(const std::string& keyPath)
{
    std::wstring path = Widen(keyPath);
    HKEY root = ParseRoot(path);
    LONG status = ::RegDeleteTreeW(root, path.c_str());
    if (status == ERROR_SUCCESS)
        status = ::RegDeleteKeyW(root, path.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        Fail("cannot delete " + keyPath);
    return "ok";
}

// The text values of one key, as a JSON object; null when the key does not exist.
std::string RegistryValues(const std::string& keyPath)
{
    std::wstring path = Widen(keyPath);
    HKEY root = ParseRoot(path);
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "ok null";
    std::string out = "{";
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        wchar_t data[1024];
        DWORD dataBytes = sizeof data - sizeof(wchar_t);
        DWORD type = 0;
        if (::RegEnumValueW(key, index, name, &nameLength, nullptr, &type, reinterpret_cast<BYTE*>(data),
                            &dataBytes) != ERROR_SUCCESS)
            break;
        if (type != REG_SZ && type != REG_EXPAND_SZ)
            continue;
        data[dataBytes / sizeof(wchar_t)] = L'\0';
        out += (out.size() > 1 ? "," : "") + Json(std::wstring(name, nameLength)) + ":" + Json(std::wstring(data));
    }
    ::RegCloseKey(key);
    return "ok " + out + "}";
}

// Which COM names this Wine session can open at all: the isolation check asks it before any scenario.
std::string OpenableComPorts()
{
    std::string out = "[";
    for (int n = 1; n <= 64; ++n) {
        const std::wstring name = L"\\\\.\\COM" + std::to_wstring(n);
        HANDLE port = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (port == INVALID_HANDLE_VALUE)
            continue;
        ::CloseHandle(port);
        out += (out.size() > 1 ? "," : "") + Json("COM" + std::to_string(n));
    }
    return "ok " + out + "]";
}

std::string ResourceString(const std::string& modulePath, const std::string& id)
{
    HMODULE module = ::LoadLibraryExW(Widen(modulePath).c_str(), nullptr,
                                      LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module)
        Fail("cannot load " + modulePath);
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(module, static_cast<UINT>(ParseNumber(id)), reinterpret_cast<LPWSTR>(&text), 0);
    std::string out = length > 0 ? Json(std::wstring(text, length)) : "null";
    ::FreeLibrary(module);
    return "ok " + out;
}

std::string Session::Execute(const std::vector<std::string>& words)
{
    const std::string& command = words[0];
    auto arg = [&](size_t i) -> const std::string& {
        if (i >= words.size())
            Fail(command + ": missing argument");
        return words[i];
    };

    if (command == "launch")
        return Launch(Widen(arg(1)));
    if (command == "attach") {
        HWND window = ::FindWindowW(nullptr, Widen(arg(1)).c_str());
        if (!window)
            Fail("no window " + arg(1));
        Adopt(window);
        process = ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
        return "ok " + Json(static_cast<long long>(processId));
    }
    if (command == "acp")
        return "ok " + Json(static_cast<long long>(::GetACP()));
    if (command == "comports")
        return OpenableComPorts();
    if (command == "resstring")
        return ResourceString(arg(1), arg(2));
    if (command == "regset")
        return RegistrySet(arg(1), arg(2), words.size() > 3 ? words[3] : std::string());
    if (command == "regdelete")
        return RegistryDeleteTree(arg(1));
    if (command == "regvalues")
        return RegistryValues(arg(1));
    if (command == "alive")
        return "ok " + Json(mainWindow && ::IsWindow(mainWindow));
    if (command == "wait-exit") {
        if (!process)
            Fail("no program");
        if (::WaitForSingleObject(process, kCeilingMs) != WAIT_OBJECT_0)
            Fail("the program is still running");
        DWORD code = 0;
        ::GetExitCodeProcess(process, &code);
        return "ok " + Json(static_cast<long long>(code));
    }
    if (command == "use") {
        if (!mainWindow)
            Fail("no program");
        if (arg(1) == "main") {
            target = mainWindow;
        } else if (arg(1) == "popup") {
            HWND popup = FindPopup();
            if (!popup)
                Fail("no popup");
            target = popup;
        } else {
            Fail("use main|popup");
        }
        return "ok";
    }
    if (command == "popup") {
        RequireWindow();
        HWND popup = FindPopup();
        return "ok " + (popup ? Json(WindowText(popup)) : std::string("null"));
    }
    if (command == "wait-popup-gone") {
        RequireWindow();
        if (!PollUntil([&] { return FindPopup() == nullptr; }))
            Fail("the popup is still there");
        return "ok";
    }
    if (command == "caption") {
        RequireWindow();
        return "ok " + Json(WindowText(target));
    }
    if (command == "window-enabled") {
        RequireWindow();
        return "ok " + Json(::IsWindowEnabled(target) != FALSE);
    }
    if (command == "rect") {
        RequireWindow();
        RECT rect;
        ::GetWindowRect(target, &rect);
        return "ok {\"x\":" + Json(static_cast<long long>(rect.left)) + ",\"y\":" +
               Json(static_cast<long long>(rect.top)) + ",\"w\":" +
               Json(static_cast<long long>(rect.right - rect.left)) + ",\"h\":" +
               Json(static_cast<long long>(rect.bottom - rect.top)) + "}";
    }
    if (command == "repaint") {
        // The whole dialog painted now, not when the program's queue next runs dry: for screenshots.
        RequireWindow();
        ::RedrawWindow(target, nullptr, nullptr,
                       RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        return "ok";
    }
    if (command == "children")
        return Children();
    if (command == "text")
        return "ok " + Json(WindowText(Control(arg(1))));
    if (command == "settext") {
        const std::wstring text = Widen(words.size() > 2 ? words[2] : std::string());
        SendChecked(Control(arg(1)), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
        return "ok";
    }
    if (command == "setsel") {
        SendChecked(Control(arg(1)), EM_SETSEL, static_cast<WPARAM>(ParseNumber(arg(2))),
                    static_cast<LPARAM>(ParseNumber(arg(3))));
        return "ok";
    }
    if (command == "type") {
        HWND control = Control(arg(1));
        for (wchar_t c : Widen(words.size() > 2 ? words[2] : std::string()))
            SendChecked(control, WM_CHAR, c, 1);
        return "ok";
    }
    if (command == "paste")
        return Paste(Control(arg(1)), Widen(words.size() > 2 ? words[2] : std::string()));
    if (command == "enabled")
        return "ok " + Json(::IsWindowEnabled(Control(arg(1))) != FALSE);
    if (command == "click") {
        HWND button = Control(arg(1));
        if (!::IsWindowEnabled(button) || !::IsWindowEnabled(target))
            Fail("control " + arg(1) + " is disabled");
        return SendWatchingForModal(button, BM_CLICK, 0, 0);
    }
    if (command == "focus") {
        RequireWindow();
        HWND focus = FocusWindow();
        // A combo box's edit field has the focus on behalf of the combo box.
        while (focus && ::GetParent(focus) && ::GetParent(focus) != target)
            focus = ::GetParent(focus);
        if (!focus || ::GetParent(focus) != target)
            return "ok null";
        return "ok " + Json(static_cast<long long>(::GetDlgCtrlID(focus)));
    }
    if (command == "items")
        return Items(Control(arg(1)));
    if (command == "selection")
        return "ok " + Json(static_cast<long long>(SendChecked(Control(arg(1)), CB_GETCURSEL, 0, 0)));
    if (command == "select") {
        SendChecked(Control(arg(1)), CB_SETCURSEL, static_cast<WPARAM>(ParseNumber(arg(2))), 0);
        return "ok";
    }
    if (command == "dropdown")
        return SendWatchingForModal(Control(arg(1)), CB_SHOWDROPDOWN, TRUE, 0);
    if (command == "closeup") {
        SendChecked(Control(arg(1)), CB_SHOWDROPDOWN, FALSE, 0);
        return "ok";
    }
    if (command == "dropped")
        return "ok " + Json(SendChecked(Control(arg(1)), CB_GETDROPPEDSTATE, 0, 0) != 0);
    if (command == "lines")
        return "ok " + Json(static_cast<long long>(SendChecked(Control(arg(1)), EM_GETLINECOUNT, 0, 0)));
    if (command == "key")
        return Key(arg(1));
    if (command == "sysmenu") {
        RequireWindow();
        return SendWatchingForModal(mainWindow, WM_SYSCOMMAND, static_cast<WPARAM>(ParseNumber(arg(1))), 0);
    }
    if (command == "sysmenu-last")
        return PickLastSystemMenuEntry();
    if (command == "close") {
        RequireWindow();
        ::PostMessageW(target, WM_CLOSE, 0, 0);
        return "ok";
    }
    Fail("unknown command " + command);
}

bool ReadLine(HANDLE input, std::string& line)
{
    static std::string pending;
    for (;;) {
        const size_t newline = pending.find('\n');
        if (newline != std::string::npos) {
            line = pending.substr(0, newline);
            pending.erase(0, newline + 1);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            return true;
        }
        char chunk[4096];
        DWORD got = 0;
        if (!::ReadFile(input, chunk, sizeof chunk, &got, nullptr) || got == 0)
            return false;
        pending.append(chunk, got);
    }
}

void WriteLine(HANDLE output, const std::string& text)
{
    const std::string line = text + "\n";
    DWORD written = 0;
    ::WriteFile(output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

int main()
{
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    Session session;
    activeSession = &session;
    std::string line;
    while (ReadLine(input, line)) {
        const std::vector<std::string> words = SplitCommand(line);
        if (words.empty())
            continue;
        if (words[0] == "quit") {
            WriteLine(output, "ok");
            break;
        }
        std::string reply;
        try {
            reply = session.Execute(words);
        } catch (const DriverError& error) {
            reply = "error " + error.text;
            for (char& c : reply)
                if (c == '\n' || c == '\r')
                    c = ' ';
        }
        WriteLine(output, reply);
    }
    activeSession = nullptr;
    return 0;
}
