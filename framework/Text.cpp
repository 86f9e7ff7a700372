#include "framework/Text.h"

#include <windows.h>

namespace {

constexpr UINT kProgramCodePage = 936;

std::wstring WideFrom(UINT codePage, const std::string& text)
{
    if (text.empty()) return std::wstring();
    const int length = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string NarrowFrom(UINT codePage, const std::wstring& text)
{
    if (text.empty()) return std::string();
    const int length = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0,
                                           nullptr, nullptr);
    std::string narrow(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), narrow.data(), length, nullptr,
                        nullptr);
    return narrow;
}

}  // namespace

std::wstring WideFromProgramText(const std::string& text)
{
    return WideFrom(kProgramCodePage, text);
}

std::string ProgramTextFromWide(const std::wstring& text)
{
    return NarrowFrom(kProgramCodePage, text);
}

std::wstring WideFromUtf8(const std::string& text)
{
    return WideFrom(CP_UTF8, text);
}

std::string Utf8FromWide(const std::wstring& text)
{
    return NarrowFrom(CP_UTF8, text);
}

std::wstring ResourceString(unsigned stringId)
{
    const wchar_t* text = nullptr;
    const int length = ::LoadStringW(::GetModuleHandleW(nullptr), stringId, reinterpret_cast<LPWSTR>(&text), 0);
    return std::wstring(text ? text : L"", static_cast<size_t>(length > 0 ? length : 0));
}
