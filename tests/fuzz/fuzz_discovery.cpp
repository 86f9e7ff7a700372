// Port discovery fed any bytes as interface paths, properties, registry names and values, past every
// buffer, with and without terminators: every handle and key released once, only discovery errors
// escape, and the list is the model's.
#include "Model.h"

namespace {

struct Model {
    const FakePortSystem& os;
    std::vector<SSerInfo> list;
    std::string error;

    bool Fits(const Text& text, std::size_t capacity) const { return text && text->size() + os.writesTerminators <= capacity; }
    // What the program reads back from a buffer with room for that many characters.
    static std::string Cut(const std::string& text, std::size_t room) { return text.substr(0, std::min(text.find('\0'), room)); }
    static std::string Hex(unsigned long code) { char t[20]; return std::snprintf(t, sizeof t, "%lx)", code), t; }

    const FakeKey& Open(const FakeKey& parent, const std::string& name, const std::string& failure) const
    {
        const auto key = std::find_if(parent.subkeys.begin(), parent.subkeys.end(), [&](const auto& k) { return k.name == name; });
        return key != parent.subkeys.end() && key->opens ? *key : throw failure;
    }
    template <class Visit>
    void Subkeys(const FakeKey& key, Visit visit)
    {
        for (const FakeKey& sub : key.subkeys)
            if (!Fits(sub.name, 128)) return; else visit(Cut(sub.name, 127));
    }
    std::string Value(const FakeKey& key, const char* name) const
    {
        const auto v = key.values.find(name);
        return v != key.values.end() && Fits(v->second, 128) ? Cut(v->second, 127) + '\1' : "";  // '\1': present
    }

    void DeviceInstaller()
    {
        if (os.classDevsError) throw "SetupDiGetClassDevs failed. (err=" + Hex(os.classDevsError);
        for (std::size_t i = 0; os.enumFailureIndex != i && i < os.interfaces.size(); ++i) {
            const FakeInterface& f = os.interfaces[i];
            if (!Fits(f.devicePath, 257)) throw std::string("SetupDiGetDeviceInterfaceDetail failed. (err=7a)");
            if (Fits(f.friendlyName, 256) && Fits(f.description, 256))
                list.push_back({Cut(f.devicePath, 256), "", Cut(*f.friendlyName, 255),
                                Fits(f.location, 256) && Cut(*f.location, 255).compare(0, 3, "USB") == 0, Cut(*f.description, 255)});
        }
        if (os.enumFailureIndex && *os.enumFailureIndex <= os.interfaces.size())
            throw std::string("SetupDiEnumDeviceInterfaces failed. (err=1f)");
    }

    void Registry()
    {
        const std::string top = "Could not read from HKLM\\Enum";
        const FakeKey& enumKey = Open(os.localMachine, "Enum", top);
        Subkeys(enumKey, [&](const std::string& enumerator) {
            const FakeKey& e = Open(enumKey, enumerator, top + "\\" + enumerator);
            Subkeys(e, [&](const std::string& device) {
                if (enumerator != "USBPORTS" && device != "*PNP0500" && device != "*PNP0501") return;
                const FakeKey& d = Open(e, device, top + "\\" + enumerator + "\\" + device);
                Subkeys(d, [&](const std::string& instance) {
                    const FakeKey& k = Open(d, instance, "Could not read from HKLM\\Enum\\...\\" + instance);
                    std::string port = Value(k, "PORTNAME"), friendly = Value(k, "FRIENDLYNAME");
                    if (port.empty()) return;
                    port.pop_back(), friendly.resize(std::max<std::size_t>(friendly.size(), 1) - 1);
                    auto same = std::find_if(list.begin(), list.end(), [&](const SSerInfo& o) { return o.portName == port; });
                    const SSerInfo record{"\\\\.\\" + port, port, friendly, enumerator == "USBPORTS", ""};
                    same != list.end() ? void(*same = record) : list.push_back(record);
                });
            });
        });
    }

    static void Complete(SSerInfo& c)
    {
        if (c.friendlyName.empty()) c.friendlyName = c.portName;
        const std::string& f = c.friendlyName;
        const std::size_t a = f.find(" ("), suffix = a && a != std::string::npos && f.find(')') == f.size() - 1 ? a : 0;
        if (c.description.empty()) c.description = f.substr(0, suffix ? suffix : std::string::npos);
        if (!suffix) return;
        std::string inner = f.substr(suffix + 2, f.size() - suffix - 3);
        if (inner.size() > 6) inner = inner.substr(0, inner.find("->") == std::string::npos ? 0 : inner.find("->"));
        if (!inner.empty()) c.devicePath = "\\\\.\\" + inner;
        c.portName = inner;
    }

    explicit Model(const FakePortSystem& system) : os(system)
    {
        try {
            if (os.versionError) throw "Could not get OS version. (err=" + Hex(os.versionError);
            if (os.version.majorVersion >= 5) DeviceInstaller();
            else if (os.version.platformId == kVerPlatformWin32Nt)
                for (int n = 1; n <= 16; ++n) list.push_back({"\\\\.\\COM" + std::to_string(n), "COM" + std::to_string(n), "", 0, ""});
            else Registry();
        } catch (const std::string& message) {
            error = message;
            return;
        }
        std::vector<SSerInfo> kept;
        for (SSerInfo c : list)
            if (os.openablePaths.count(c.devicePath)) Complete(c), kept.push_back(c);
        list = kept;
    }
};

// Up to 31 bytes of the input, made up to a length of up to 511 with one byte.
std::string Blob(Input& in)
{
    const Bytes b = in.Take(in.Byte() % 32);
    std::string text(b.begin(), b.end());
    return text.resize(std::max<std::size_t>(text.size(), in.Byte() | (in.Byte() & 1) << 8), static_cast<char>(in.Byte())), text;
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
    std::string error;
    try {
        EnumerateSerialPorts(os);
    } catch (const PortDiscoveryError& raised) {
        error = raised.what();
    }
    ORACLE(error == model.error && os.EverythingReleased());
    ORACLE(portList.GetSize() == static_cast<std::ptrdiff_t>(model.list.size()));
    for (std::size_t i = 0; i < model.list.size(); ++i) {
        const SSerInfo &r = portList[static_cast<std::ptrdiff_t>(i)], &m = model.list[i];
        ORACLE(r.devicePath == m.devicePath && r.portName == m.portName && r.friendlyName == m.friendlyName &&
               r.description == m.description && r.isUsb == m.isUsb);
    }
    return 0;
}
