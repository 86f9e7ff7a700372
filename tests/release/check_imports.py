#!/usr/bin/env python3
"""Fails when a Tarvik.exe or tarvik-cli.exe could not load on Windows XP SP3 (32-bit) or XP x64 / Server 2003 (64-bit):
an import outside the calls those systems have, or a PE header that asks for a newer Windows.
Usage: check_imports.py EXE..."""

import re
import subprocess
import sys

# Every import allowed, each present in the named DLL from XP SP3 and XP x64 / Server 2003 on.
ALLOWED = {dll: set(names.split()) for dll, names in {
    "advapi32.dll": """RegCloseKey RegEnumKeyExA RegEnumKeyExW RegOpenKeyExA RegOpenKeyExW RegQueryValueExA
        RegQueryValueExW""",
    "comctl32.dll": "InitCommonControlsEx",
    "gdi32.dll": "CreateFontW DeleteObject",
    "kernel32.dll": """CancelIo ClearCommError CloseHandle CreateEventA CreateFileA CreateFileW CreateSemaphoreW
        DeleteCriticalSection EnterCriticalSection FreeLibrary GetCommState GetCurrentThreadId GetLastError
        GetModuleHandleA GetModuleHandleW GetOverlappedResult GetProcAddress GetStartupInfoA GetVersionExA
        InitializeCriticalSection IsDBCSLeadByteEx LeaveCriticalSection LoadLibraryA LoadLibraryW
        MultiByteToWideChar PurgeComm RaiseException ReadFile ReleaseSemaphore RtlCaptureContext
        RtlLookupFunctionEntry RtlUnwindEx RtlVirtualUnwind SetCommState SetCommTimeouts SetLastError
        SetUnhandledExceptionFilter SetupComm Sleep TlsAlloc TlsFree TlsGetValue TlsSetValue VirtualProtect
        VirtualQuery WaitForSingleObject WideCharToMultiByte WriteFile __C_specific_handler GetConsoleMode GetStdHandle
        GetSystemTimeAsFileTime GetTickCount GetTimeZoneInformation SetConsoleCtrlHandler SetEvent WriteConsoleW
        GetStartupInfoW""",
    "msvcrt.dll": """___lc_codepage_func ___mb_cur_max_func __getmainargs __initenv __iob_func __mb_cur_max
        __p__acmdln __p__commode __p__fmode __set_app_type __setusermatherr _acmdln _amsg_exit _cexit _close
        _commode _errno _fmode _initterm _iob _onexit _read abort atoi calloc exit fprintf fputc fputs free fwrite
        localeconv malloc memchr memcmp memcpy memmove memset realloc setlocale signal strchr strcmp strerror strlen
        strncmp vfprintf wcslen gmtime _gmtime64 strftime __wgetmainargs __p__wcmdln _wcmdln __winitenv""",
    "setupapi.dll": """SetupDiDestroyDeviceInfoList SetupDiEnumDeviceInterfaces SetupDiGetClassDevsA
        SetupDiGetDeviceInterfaceDetailA SetupDiGetDeviceInterfaceDetailW SetupDiGetDeviceRegistryPropertyA
        SetupDiGetDeviceRegistryPropertyW""",
    "user32.dll": """AppendMenuW BeginPaint DialogBoxParamW DrawIcon EnableWindow EndDialog EndPaint GetClientRect
        GetDlgItem GetSystemMenu GetSystemMetrics GetWindowLongPtrW GetWindowLongW GetWindowTextLengthW
        GetWindowTextW IsIconic KillTimer LoadIconW LoadStringW MessageBoxW SendMessageW SetTimer SetWindowLongPtrW
        SetWindowLongW SetWindowTextW""",
}.items()}

# The oldest Windows of each architecture, as the PE header's OS and subsystem versions name it.
OLDEST = {"pei-i386": "5.1", "pei-x86-64": "5.2"}


def problems(exe):
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], capture_output=True, text=True,
                          check=True).stdout
    found = []
    oldest = OLDEST[re.search(r"file format (\S+)", dump).group(1)]
    for field in ("OSystem", "Subsystem"):
        version = ".".join(re.search(rf"{kind}{field}Version\s+(\d+)", dump).group(1)
                           for kind in ("Major", "Minor"))
        if version != oldest:
            found.append(f"{field} version {version}, not {oldest}")
    for block in re.split(r"\n\s*DLL Name: ", dump)[1:]:
        dll = block.split()[0].lower()
        for name in re.findall(r"^\s+[0-9a-f]+\s+\d+\s+(\S+)$", block.split("\n\n")[0], re.M):
            if name not in ALLOWED.get(dll, ()):
                found.append(f"imports {dll} {name}")
    return found


def main(exes):
    found = {exe: problems(exe) for exe in exes}
    for exe, problem_list in found.items():
        print(f"{'FAIL' if problem_list else 'PASS'}  {exe} loads on the oldest Windows of its kind"
              + "".join(f"\n      {problem}" for problem in problem_list))
    return 1 if any(found.values()) else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
