#include "framework/Text.h"

#include <windows.h>

namespace {
constexpr UINT kProgramCodePage = 936;
}

std::wstring WideFromProgramText(const std::string& text)
{
    if (text.empty()) return std::wstring();
    const int length = MultiByteToWideChar(kProgramCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(kProgramCodePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string ProgramTextFromWide(const std::wstring& text)
{
    if (text.empty()) return std::string();
    const int length = WideCharToMultiByte(kProgramCodePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(kProgramCodePage, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr,
                        nullptr);
    return narrow;
}

std::wstring ResourceString(unsigned stringId)
{
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(::GetModuleHandleW(nullptr), stringId, reinterpret_cast<LPWSTR>(&text), 0);
    return std::wstring(text ? text : L"", static_cast<size_t>(length > 0 ? length : 0));
}
