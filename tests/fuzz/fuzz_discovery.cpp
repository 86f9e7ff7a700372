// Port discovery fed any texts as interface paths, properties, registry names and values, past every
// buffer, with and without terminators: every handle and key released once, a failing port or key is
// its error line and is skipped, and the walk's candidates are the model's.
#include <codecvt>
#include <locale>
#include <tuple>

#include "Model.h"

namespace {

using Convert = std::wstring_convert<std::codecvt_utf8_utf16<char16_t>, char16_t>;
using Found = std::optional<std::string>;

struct Model {
    const FakePortSystem& os;
    std::vector<SSerInfo> list;
    Strings errors;

    // What a buffer of that many UTF-16 characters gives back: nothing when the text does not fit, else
    // the text up to a zero and before the buffer's last character.
    Found Read(const Text& text, std::size_t capacity) const
    {
        const std::u16string wide = Convert().from_bytes(text.value_or(""));
        if (!text || wide.size() + os.writesTerminators > capacity) return std::nullopt;
        return Convert().to_bytes(wide.substr(0, std::min(wide.find(u'\0'), capacity - 1)));
    }
    void Error(const std::string& message, unsigned long code)
    {
        char hex[20];
        errors.push_back(message + (std::snprintf(hex, sizeof hex, " (err=%lx)", code), hex));
    }

    void DeviceInstaller()
    {
        if (os.classDevsError) return Error("SetupDiGetClassDevs failed.", os.classDevsError);
        for (std::size_t i = 0; i < os.interfaces.size() || os.enumFailureIndex == i; ++i) {
            if (os.enumFailureIndex == i) return Error("SetupDiEnumDeviceInterfaces failed.", 0x1F);
            const FakeInterface& f = os.interfaces[i];
            const Found path = Read(f.devicePath, 257), friendly = Read(f.friendlyName, 256);
            const Found description = Read(f.description, 256), location = Read(f.location, 256);
            if (!path) Error("SetupDiGetDeviceInterfaceDetail failed.", 122);
            else if (friendly && description) list.push_back({*path, "", *friendly, location && location->rfind("USB", 0) == 0, *description});
        }
    }

    // Depth 0 the enumerators under Enum, 1 their devices, 2 the devices' instances.
    void Registry(const FakeKey& key, int depth, const std::string& path, bool usb)
    {
        for (const FakeKey& sub : key.subkeys) {
            const Found name = Read(sub.name, 128);
            if (!name) return;  // a name that does not fit ends its level
            if (depth == 1 && !usb && *name != "*PNP0500" && *name != "*PNP0501") continue;
            const auto opened = std::find_if(key.subkeys.begin(), key.subkeys.end(), [&](auto& k) { return k.name == *name; });
            if (opened == key.subkeys.end() || !opened->opens)
                errors.push_back(depth < 2 ? path + "\\" + *name : "Could not read from HKLM\\Enum\\...\\" + *name);
            else if (depth < 2) Registry(*opened, depth + 1, path + "\\" + *name, depth ? usb : *name == "USBPORTS");
            else if (const Found port = Value(*opened, "PORTNAME")) {
                const SSerInfo record{"\\\\.\\" + *port, *port, Value(*opened, "FRIENDLYNAME").value_or(""), usb, ""};
                auto same = std::find_if(list.begin(), list.end(), [&](const SSerInfo& o) { return o.portName == *port; });
                same != list.end() ? void(*same = record) : list.push_back(record);
            }
        }
    }
    Found Value(const FakeKey& key, const char* name) const
    {
        const auto value = key.values.find(name);
        return value == key.values.end() ? std::nullopt : Read(value->second, 128);
    }

    explicit Model(const FakePortSystem& system) : os(system)
    {
        const std::string top = "Could not read from HKLM\\Enum";
        if (os.versionError) Error("Could not get OS version.", os.versionError);
        else if (os.version.majorVersion >= 5) DeviceInstaller();
        else if (os.version.platformId == kVerPlatformWin32Nt)
            for (int n = 1; n <= 16; ++n) list.push_back({"\\\\.\\COM" + std::to_string(n), "COM" + std::to_string(n), "", 0, ""});
        else if (os.localMachine.subkeys.front().opens) Registry(os.localMachine.subkeys.front(), 0, top, false);
        else errors.push_back(top);
    }
};

// Up to 31 characters of the input (ASCII, zero included, or wider ones), made up to a length of up to
// 511 with one character.
std::string Blob(Input& in)
{
    std::u16string text;
    for (std::uint8_t b : in.Take(in.Byte() % 32)) text += static_cast<char16_t>(b < 0x80 ? b : b < 0xC0 ? 0x4E00 + b : b);
    return text.resize(std::max<std::size_t>(text.size(), in.Byte() | (in.Byte() & 1) << 8), in.Byte()), Convert().to_bytes(text);
}

Text Maybe(Input& in) { return in.Byte() & 1 ? Text(Blob(in)) : std::nullopt; }

void Tree(Input& in, FakePortSystem& os, FakeKey& key, int depth)  // enumerators, devices, instances
{
    for (int n = depth < 3 ? in.Byte() % 4 : 0; n > 0; --n) {
        const std::uint8_t kind = in.Byte();
        const std::string name = kind % 4 == 0 ? "USBPORTS" : kind % 4 == 1 ? std::string("*PNP050") + "01"[kind >> 7] : Blob(in);
        FakeKey& sub = key.subkeys.emplace_back(FakeKey{name, {}, {}, (kind & 0x10) == 0});
        if (kind & 0x20) os.openablePaths.insert("\\\\.\\" + (sub.values["PORTNAME"] = Blob(in)));
        if (kind & 0x40) sub.values["FRIENDLYNAME"] = Blob(in);
        Tree(in, os, sub, depth + 1);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input in{data, size};
    FakePortSystem os;
    const std::uint8_t setup = in.Byte();
    os.versionError = setup % 16 ? 0 : in.Byte() + 1ul;
    os.version = setup & 0x10 ? OsVersion{6, 2} : OsVersion{4, setup & 0x20 ? 2ul : 1ul};
    os.writesTerminators = setup & 0x40;
    if (setup & 0x80) os.classDevsError = in.Byte() + 1ul;
    if (in.Byte() & 1) os.enumFailureIndex = in.Byte() % 4;
    for (int n = in.Byte() % 5; n > 0; --n) {
        os.interfaces.push_back({Blob(in), Maybe(in), Maybe(in), Maybe(in)});
        if (in.Byte() & 1) os.openablePaths.insert(os.interfaces.back().devicePath);
    }
    os.Key({"Enum"}).opens = in.Byte() % 8 != 0;
    Tree(in, os, os.Key({"Enum"}), 0);
    while (in.size) os.openablePaths.insert(in.Byte() & 1 ? "\\\\.\\COM" + std::to_string(in.Byte() % 18) : Blob(in));

    const Model model(os);
    DiscoveryErrors errors;
    portList.RemoveAll();
    ChoosePortMethod(os, errors);
    const auto fields = [](const SSerInfo& r) { return std::tie(r.devicePath, r.portName, r.friendlyName, r.isUsb, r.description); };
    ORACLE(errors == model.errors && portList.GetSize() == static_cast<std::ptrdiff_t>(model.list.size()));
    for (std::size_t i = 0; i < model.list.size(); ++i) ORACLE(fields(portList[static_cast<std::ptrdiff_t>(i)]) == fields(model.list[i]));
    // The presence test and the completion of what the walk found (their rules are unit-tested).
    ORACLE(EnumerateSerialPorts(os) == model.errors && os.EverythingReleased());
    return 0;
}
