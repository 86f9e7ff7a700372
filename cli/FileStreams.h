// A named file read or written whole through the standard streams, by the name as the system takes it
// (a narrow one on Linux, a wide one on Windows, so that any name opens).
#pragma once

#include <fstream>
#include <istream>
#include <memory>
#include <string>

// Null when the file cannot be read.
template <class SystemName>
std::unique_ptr<std::istream> ReadableFile(const SystemName& name)
{
    auto in = std::make_unique<std::ifstream>(name, std::ios::binary);
    if (!*in) return nullptr;
    return in;
}

// False when the file could not be written whole.
template <class SystemName>
bool WrittenWhole(const SystemName& name, const std::string& bytes)
{
    std::ofstream out(name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}
