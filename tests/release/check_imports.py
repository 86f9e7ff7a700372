#!/usr/bin/env python3
"""Fails when a Tarvik.exe or tarvik-cli.exe could not load on Windows XP SP3 (32-bit) or XP x64 / Server 2003 (64-bit):
an import outside the calls those systems have, or a PE header that asks for a newer Windows; or when it lacks
a defense of its build: ASLR and DEP marks (high-entropy addresses on x64, no SEH handlers on x86), relocations
for ASLR to use, the stack canary's runtime, or the canary and checked-copy flags in the build it came from.
Usage: check_imports.py EXE..."""

import re
import subprocess
import sys
from pathlib import Path

# Every import allowed, each present in the named DLL from XP SP3 and XP x64 / Server 2003 on.
ALLOWED = {dll: set(names.split()) for dll, names in {
    # The Crypt calls seed the stack canary; _open, _write and _exit report a smashed stack and end. The
    # file streams of tarvik-cli report bring fopen, _wfopen and the C locale calls behind them; its local
    # times localtime.
    "advapi32.dll": """CryptAcquireContextA CryptGenRandom CryptReleaseContext RegCloseKey RegEnumKeyExA RegEnumKeyExW RegOpenKeyExA RegOpenKeyExW RegQueryValueExA
        RegQueryValueExW""",
    "comctl32.dll": "InitCommonControlsEx",
    "gdi32.dll": "CreateFontW DeleteObject",
    "kernel32.dll": """CancelIo ClearCommError CloseHandle CreateEventA CreateFileA CreateFileW CreateSemaphoreW
        DeleteFileW GetFileAttributesW FormatMessageA LocalFree
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
        _commode _errno _exit _fmode _initterm _iob _onexit _open _read _write abort atoi calloc exit fprintf fputc fputs free fwrite
        localeconv malloc memchr memcmp memcpy memmove memset realloc setlocale signal strchr strcmp strerror strlen
        strncmp vfprintf wcslen gmtime _gmtime64 strftime __wgetmainargs __p__wcmdln _wcmdln __winitenv
        fopen _wfopen fclose fflush setvbuf _fileno _fdopen _fstat64 _lseeki64 strcoll strxfrm wcscoll wcsxfrm wcsftime
        iswctype towlower towupper localtime _localtime64""",
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
# The loader's defenses each image must ask for, as objdump names the DllCharacteristics bits.
DEFENSES = {"pei-i386": ("DYNAMIC_BASE", "NX_COMPAT", "NO_SEH"),
            "pei-x86-64": ("HIGH_ENTROPY_VA", "DYNAMIC_BASE", "NX_COMPAT")}
CANARY_RUNTIME = b"*** stack smashing detected ***"
# A checked copy leaves no mark in an image that calls none, so the build's flags are read where it kept them.
BUILD_FLAGS = ("-fstack-protector-strong", "-D_FORTIFY_SOURCE=2")


def problems(exe):
    dump = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", exe], capture_output=True, text=True,
                          check=True).stdout
    found = []
    kind = re.search(r"file format (\S+)", dump).group(1)
    oldest = OLDEST[kind]
    for field in ("OSystem", "Subsystem"):
        version = ".".join(re.search(rf"{kind}{field}Version\s+(\d+)", dump).group(1)
                           for kind in ("Major", "Minor"))
        if version != oldest:
            found.append(f"{field} version {version}, not {oldest}")
    marks = re.search(r"DllCharacteristics\s+[0-9a-f]+\n((?:\t+\S+\n)*)", dump).group(1).split()
    found += [f"no {mark}" for mark in DEFENSES[kind] if mark not in marks]
    if not re.search(r"^\s*\d+ \.reloc ", subprocess.run(["x86_64-w64-mingw32-objdump", "-h", exe], capture_output=True,
                                                      text=True, check=True).stdout, re.M):
        found.append("no relocations")
    if CANARY_RUNTIME not in Path(exe).read_bytes():
        found.append("no stack canary runtime")
    cache = Path(exe).parent / "CMakeCache.txt"
    flags = re.search(r"^CMAKE_CXX_FLAGS:STRING=(.*)$", cache.read_text(), re.M).group(1).split() if cache.exists() else []
    found += [f"built without {flag}" for flag in BUILD_FLAGS if flag not in flags]
    for block in re.split(r"\n\s*DLL Name: ", dump)[1:]:
        dll = block.split()[0].lower()
        for name in re.findall(r"^\s+[0-9a-f]+\s+\d+\s+(\S+)$", block.split("\n\n")[0], re.M):
            if name not in ALLOWED.get(dll, ()):
                found.append(f"imports {dll} {name}")
    return found


def main(exes):
    found = {exe: problems(exe) for exe in exes}
    for exe, problem_list in found.items():
        print(f"{'FAIL' if problem_list else 'PASS'}  {exe} loads on the oldest Windows of its kind, hardened"
              + "".join(f"\n      {problem}" for problem in problem_list))
    return 1 if any(found.values()) else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
