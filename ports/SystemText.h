// Texts from the system (port names, friendly names, descriptions, registry values) come as UTF-16 from
// the wide calls; the program carries them as UTF-8, which holds every one of them on any system locale.
// They are not program texts (code page 936): the dialog takes them by their own entry points.
#pragma once

#include <string>

// Unpaired surrogates become U+FFFD.
std::string Utf8FromUtf16(const std::u16string& text);
