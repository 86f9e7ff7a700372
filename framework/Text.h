// The program keeps its texts as code page 936 bytes; Windows gets and gives UTF-16. Converting with
// code page 936 explicitly (not the system's ANSI code page) keeps the UI readable on every locale.
#pragma once

#include <string>

std::wstring WideFromProgramText(const std::string& text);
std::string ProgramTextFromWide(const std::wstring& text);
// Texts from the system, which the program carries as UTF-8 (see ports/SystemText.h).
std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const std::wstring& text);
// A string resource of the program's module, as the resource holds it; empty when there is none.
std::wstring ResourceString(unsigned stringId);
