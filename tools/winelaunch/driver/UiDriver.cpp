// Works the windows of other programs in the same Wine session, as an operator would.
//
// One command per line on stdin (UTF-8, words separated by single spaces; inside a word "\s" is a
// space, "\n", "\r", "\t" and "\\" the usual characters), one reply per line on stdout: "ok",
// "ok <JSON value>" or "error <text>". Windows are named by their handle as a decimal number.
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

const DWORD kCeilingMs = 20000;

struct DriverError {
    std::string text;
};

[[noreturn]] void Fail(const std::string& text)
{
    throw DriverError{text};
}

std::wstring Widen(const std::string& utf8)
{
    int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(length, L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
    return wide;
}

std::string Json(const std::wstring& wide)
{
    int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                       nullptr);
    std::string utf8(length, '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &utf8[0], length, nullptr, nullptr);
    std::string out = "\"";
    for (unsigned char c : utf8) {
        char escaped[8];
        if (c == '"' || c == '\\' || c < 0x20) {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string Json(long long value)
{
    return std::to_string(value);
}

std::string Json(bool value)
{
    return value ? "true" : "false";
}

std::vector<std::string> SplitCommand(const std::string& line)
{
    std::vector<std::string> words(1);
    for (size_t i = 0; i < line.size(); ++i) {
        if (line[i] == ' ') {
            words.emplace_back();
        } else if (line[i] == '\\' && i + 1 < line.size()) {
            const char c = line[++i];
            words.back() += c == 's' ? ' ' : c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
        } else {
            words.back() += line[i];
        }
    }
    return words;
}

long long Number(const std::string& text)
{
    char* end = nullptr;
    long long value = std::strtoll(text.c_str(), &end, 0);
    if (text.empty() || *end != '\0')
        Fail("not a number: " + text);
    return value;
}

HWND Window(const std::string& text)
{
    HWND window = reinterpret_cast<HWND>(static_cast<INT_PTR>(Number(text)));
    if (!::IsWindow(window))
        Fail("no window " + text);
    return window;
}

// Our own queue has to be pumped for SendMessageCallback completions to arrive.
template <class Condition>
bool PollUntil(Condition condition)
{
    const DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start > kCeilingMs)
            return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageW(&msg);
    }
    return true;
}

LRESULT SendChecked(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kCeilingMs, &result))
        Fail("window does not answer");
    return static_cast<LRESULT>(result);
}

std::wstring Text(HWND window)
{
    std::wstring text(SendChecked(window, WM_GETTEXTLENGTH, 0, 0) + 1, L'\0');
    text.resize(SendChecked(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0])));
    return text;
}

std::wstring ClassName(HWND window)
{
    wchar_t name[64] = L"";
    ::GetClassNameW(window, name, 64);
    return name;
}

std::string List(const std::vector<HWND>& windows)
{
    std::string out = "[";
    for (HWND window : windows)
        out += (out.size() > 1 ? "," : "") + Json(static_cast<long long>(reinterpret_cast<INT_PTR>(window)));
    return out + "]";
}

BOOL CALLBACK Collect(HWND window, LPARAM windows)
{
    if (::IsWindowVisible(window))
        reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
    return TRUE;
}

std::vector<HWND> Children(HWND parent)
{
    std::vector<HWND> all, children;
    ::EnumChildWindows(parent, [](HWND window, LPARAM windows) {
        reinterpret_cast<std::vector<HWND>*>(windows)->push_back(window);
        return TRUE;
    }, reinterpret_cast<LPARAM>(&all));
    for (HWND child : all)
        if (::GetParent(child) == parent)
            children.push_back(child);
    return children;
}

std::string Info(HWND window)
{
    DWORD pid = 0;
    const DWORD tid = ::GetWindowThreadProcessId(window, &pid);
    return "{\"class\":" + Json(ClassName(window)) + ",\"id\":" +
           Json(static_cast<long long>(static_cast<short>(::GetDlgCtrlID(window)))) +
           ",\"style\":" + Json(static_cast<long long>(::GetWindowLongW(window, GWL_STYLE) & 0xFFFFFFFF)) +
           ",\"text\":" + Json(Text(window)) + ",\"enabled\":" + Json(::IsWindowEnabled(window) != FALSE) +
           ",\"visible\":" + Json(::IsWindowVisible(window) != FALSE) + ",\"pid\":" +
           Json(static_cast<long long>(pid)) + ",\"tid\":" + Json(static_cast<long long>(tid)) +
           ",\"parent\":" + Json(static_cast<long long>(reinterpret_cast<INT_PTR>(::GetParent(window)))) + "}";
}

std::set<HWND> DialogsOfThread(DWORD tid)
{
    std::vector<HWND> windows;
    ::EnumThreadWindows(tid, &Collect, reinterpret_cast<LPARAM>(&windows));
    std::set<HWND> dialogs;
    for (HWND window : windows)
        if (ClassName(window) == L"#32770")
            dialogs.insert(window);
    return dialogs;
}

ULONG_PTR completedSend = 0;

// The handler of the message may open a modal dialog (a message box, the About box) and so not
// return for a long time: the reply comes when the handler is done ("ok <result>"), when a new
// dialog of the window's thread shows ("modal") or when the window is gone ("gone").
std::string Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    static ULONG_PTR lastSend = 0;
    const DWORD tid = ::GetWindowThreadProcessId(window, nullptr);
    const std::set<HWND> before = DialogsOfThread(tid);
    const ULONG_PTR serial = ++lastSend;
    LRESULT result = 0;
    static LRESULT* resultOf = nullptr;
    resultOf = &result;
    if (!::SendMessageCallbackW(window, message, wParam, lParam,
                                [](HWND, UINT, ULONG_PTR data, LRESULT answer) {
                                    completedSend = data;
                                    *resultOf = answer;
                                }, serial))
        Fail("cannot send to the window");
    std::string reply;
    if (!PollUntil([&] {
            if (completedSend == serial)
                reply = Json(static_cast<long long>(result));
            else if (!::IsWindow(window))
                reply = "\"gone\"";
            else
                for (HWND dialog : DialogsOfThread(tid))
                    if (!before.count(dialog))
                        reply = "\"modal\"";
            return !reply.empty();
        }))
        Fail("the program did not finish handling the message");
    return reply;
}

// Pasting goes through the clipboard, as the operator's Ctrl+V does.
void SetClipboard(const std::wstring& text)
{
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!memory)
        Fail("out of memory");
    std::memcpy(::GlobalLock(memory), text.c_str(), bytes);
    ::GlobalUnlock(memory);
    bool placed = false;
    if (::OpenClipboard(nullptr)) {
        ::EmptyClipboard();
        placed = ::SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
        ::CloseClipboard();
    }
    if (!placed) {
        ::GlobalFree(memory);
        Fail("cannot fill the clipboard");
    }
}

HKEY Root(std::wstring& path)
{
    for (auto root : {std::make_pair(L"HKLM\\", HKEY_LOCAL_MACHINE), std::make_pair(L"HKCU\\", HKEY_CURRENT_USER)}) {
        if (path.compare(0, 5, root.first) == 0) {
            path.erase(0, 5);
            return root.second;
        }
    }
    Fail("registry path must start with HKLM\\ or HKCU\\");
}

void RegistrySet(const std::string& keyPath, const std::string& name, const std::string& value)
{
    std::wstring path = Widen(keyPath);
    HKEY root = Root(path);
    HKEY key = nullptr;
    if (::RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        Fail("cannot create " + keyPath);
    const std::wstring wide = Widen(value);
    const LONG status = ::RegSetValueExW(key, Widen(name).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(wide.c_str()),
                                         static_cast<DWORD>((wide.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        Fail("cannot set " + keyPath + " " + name);
}

void RegistryDelete(const std::string& keyPath)
{
    std::wstring path = Widen(keyPath);
    HKEY root = Root(path);
    LONG status = ::RegDeleteTreeW(root, path.c_str());
    if (status == ERROR_SUCCESS)
        status = ::RegDeleteKeyW(root, path.c_str());
    if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND)
        Fail("cannot delete " + keyPath);
}

std::string ResourceString(const std::string& modulePath, const std::string& id)
{
    HMODULE module = ::LoadLibraryExW(Widen(modulePath).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        Fail("cannot load " + modulePath);
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(module, static_cast<UINT>(Number(id)), reinterpret_cast<LPWSTR>(&text), 0);
    const std::string out = length > 0 ? Json(std::wstring(text, length)) : "null";
    ::FreeLibrary(module);
    return out;
}

// Wine counts another process's handles only in the system's handle table, and its GUI object counts
// (GetGuiResources) are always 0: the process's windows stand for its USER objects.
struct SystemHandle {
    ULONG ownerPid;
    BYTE objectType, flags;
    USHORT value;
    PVOID object;
    ULONG access;
};
extern "C" LONG NTAPI NtQuerySystemInformation(int informationClass, PVOID information, ULONG length, PULONG returned);

BOOL CALLBACK CountOwned(HWND window, LPARAM counter)
{
    auto* count = reinterpret_cast<std::pair<DWORD, long long>*>(counter);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid == count->first) {
        ++count->second;
        ::EnumChildWindows(window, &CountOwned, counter);
    }
    return TRUE;
}

std::string Resources(DWORD pid)
{
    HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!process)
        Fail("cannot open the process");
    PROCESS_MEMORY_COUNTERS memory = {};
    ::GetProcessMemoryInfo(process, &memory, sizeof memory);
    const DWORD gdi = ::GetGuiResources(process, GR_GDIOBJECTS);
    ::CloseHandle(process);
    std::vector<char> table(1 << 16);
    ULONG needed = 0;
    while (NtQuerySystemInformation(16, table.data(), static_cast<ULONG>(table.size()), &needed) != 0)
        table.resize(table.size() * 2);
    const ULONG count = *reinterpret_cast<ULONG*>(table.data());
    const auto* handles = reinterpret_cast<const SystemHandle*>(table.data() + sizeof(ULONG_PTR));
    long long owned = 0;
    for (ULONG i = 0; i < count; ++i)
        owned += handles[i].ownerPid == pid;
    std::pair<DWORD, long long> windows{pid, 0};
    ::EnumWindows(&CountOwned, reinterpret_cast<LPARAM>(&windows));
    return "{\"handles\":" + Json(owned) + ",\"gdi\":" + Json(static_cast<long long>(gdi)) +
           ",\"user\":" + Json(windows.second) + ",\"private\":" + Json(static_cast<long long>(memory.PagefileUsage)) + "}";
}

std::string Execute(const std::vector<std::string>& words)
{
    const std::string& command = words[0];
    auto arg = [&](size_t i) -> const std::string& {
        if (i >= words.size())
            Fail(command + ": missing argument");
        return words[i];
    };
    auto message = [&](size_t i) {
        return std::make_tuple(Window(arg(i)), static_cast<UINT>(Number(arg(i + 1))),
                               static_cast<WPARAM>(Number(arg(i + 2))));
    };

    if (command == "windows") {
        // Captions read this way send no message, so a busy or hung program does not stall the list.
        std::vector<HWND> windows;
        ::EnumWindows(&Collect, reinterpret_cast<LPARAM>(&windows));
        std::string out = "[";
        for (HWND window : windows) {
            wchar_t caption[256] = L"";
            ::GetWindowTextW(window, caption, 256);
            out += (out.size() > 1 ? ",[" : "[") + Json(static_cast<long long>(reinterpret_cast<INT_PTR>(window))) +
                   "," + Json(ClassName(window)) + "," + Json(std::wstring(caption)) + "," +
                   Json(static_cast<long long>(::GetWindowThreadProcessId(window, nullptr))) + "]";
        }
        return out + "]";
    }
    if (command == "children")
        return List(Children(Window(arg(1))));
    if (command == "info")
        return Info(Window(arg(1)));
    if (command == "send") {
        auto [window, msg, wParam] = message(1);
        return Send(window, msg, wParam, static_cast<LPARAM>(Number(arg(4))));
    }
    if (command == "sendtext") {
        auto [window, msg, wParam] = message(1);
        const std::wstring text = Widen(words.size() > 4 ? words[4] : std::string());
        return Json(static_cast<long long>(SendChecked(window, msg, wParam, reinterpret_cast<LPARAM>(text.c_str()))));
    }
    if (command == "post") {
        auto [window, msg, wParam] = message(1);
        if (!::PostMessageW(window, msg, wParam, static_cast<LPARAM>(Number(arg(4)))))
            Fail("cannot post to the window");
        return "null";
    }
    if (command == "lbtext") {
        HWND combo = Window(arg(1));
        const WPARAM index = static_cast<WPARAM>(Number(arg(2)));
        std::wstring item(SendChecked(combo, CB_GETLBTEXTLEN, index, 0) + 1, L'\0');
        item.resize(SendChecked(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(&item[0])));
        return Json(item);
    }
    if (command == "focus") {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        ::GetGUIThreadInfo(static_cast<DWORD>(Number(arg(1))), &info);
        return Json(static_cast<long long>(reinterpret_cast<INT_PTR>(info.hwndFocus)));
    }
    if (command == "rect") {
        RECT r;
        ::GetWindowRect(Window(arg(1)), &r);
        return "[" + Json(static_cast<long long>(r.left)) + "," + Json(static_cast<long long>(r.top)) + "," +
               Json(static_cast<long long>(r.right - r.left)) + "," + Json(static_cast<long long>(r.bottom - r.top)) +
               "]";
    }
    if (command == "redraw")
        return Json(::RedrawWindow(Window(arg(1)), nullptr, nullptr,
                                   RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW) != FALSE);
    if (command == "clipboard") {
        SetClipboard(Widen(words.size() > 1 ? words[1] : std::string()));
        return "null";
    }
    if (command == "canopen") {
        HANDLE port = ::CreateFileW(Widen(arg(1)).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                    nullptr);
        if (port != INVALID_HANDLE_VALUE)
            ::CloseHandle(port);
        return Json(port != INVALID_HANDLE_VALUE);
    }
    if (command == "regset") {
        RegistrySet(arg(1), arg(2), words.size() > 3 ? words[3] : std::string());
        return "null";
    }
    if (command == "regdelete") {
        RegistryDelete(arg(1));
        return "null";
    }
    if (command == "resstring")
        return ResourceString(arg(1), arg(2));
    if (command == "resources")
        return Resources(static_cast<DWORD>(Number(arg(1))));
    if (command == "acp")
        return Json(static_cast<long long>(::GetACP()));
    Fail("unknown command " + command);
}

bool ReadLine(HANDLE input, std::string& line)
{
    static std::string pending;
    size_t newline;
    while ((newline = pending.find('\n')) == std::string::npos) {
        char chunk[4096];
        DWORD got = 0;
        if (!::ReadFile(input, chunk, sizeof chunk, &got, nullptr) || got == 0)
            return false;
        pending.append(chunk, got);
    }
    line = pending.substr(0, newline);
    pending.erase(0, newline + 1);
    return true;
}

}  // namespace

int main()
{
    HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
    HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
    std::string line;
    while (ReadLine(input, line)) {
        std::string reply;
        try {
            reply = "ok " + Execute(SplitCommand(line));
        } catch (const DriverError& error) {
            reply = "error " + error.text;
            for (char& c : reply)
                if (c == '\n' || c == '\r')
                    c = ' ';
        }
        reply += "\n";
        DWORD written = 0;
        ::WriteFile(output, reply.data(), static_cast<DWORD>(reply.size()), &written, nullptr);
    }
    return 0;
}
