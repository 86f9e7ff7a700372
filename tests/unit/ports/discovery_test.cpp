// The walks Wine cannot show (its device installer lists no COM port), the system's failures and the
// buffer edges; what Wine does show is proven on Tarvik.exe.
#include <gtest/gtest.h>

#include <functional>

#include "FakePortSystem.h"
#include "FreshProgramTest.h"
#include "ports/SystemText.h"

namespace {

std::string Path(const std::string& device) { return "\\\\?\\" + device + "#{86e0d1e0-8089-11d0-9ce4-08003e301f73}"; }

FakeInterface Port(const std::string& device, Text friendly, Text description = "", Text location = "")
{
    return FakeInterface{Path(device), friendly, description, location};
}

void Instance(FakePortSystem& system, const Strings& key, const std::string& port, const std::string& friendly = "")
{
    system.Key(key).values = {{"PORTNAME", port}, {"FRIENDLYNAME", friendly}};
}

// Runs discovery on an empty list: its error lines joined ("" for none), then each record as
// "port|path|usb|entry".
Strings Discover(FakePortSystem& system)
{
    Strings outcome = {""};
    portList.RemoveAll();
    for (const std::string& error : EnumerateSerialPorts(system)) outcome[0] += (outcome[0].empty() ? "" : "\n") + error;
    for (std::ptrdiff_t i = 0; i < portList.GetSize(); ++i) {
        const SSerInfo& r = portList[i];
        outcome.push_back(r.portName + "|" + r.devicePath + "|" + std::to_string(r.isUsb) + "|" + PortEntryText(r));
    }
    EXPECT_TRUE(system.EverythingReleased());
    // The presence test opens a candidate exclusively, for reading and writing.
    for (const auto& arguments : system.openArguments) EXPECT_EQ(arguments, (std::vector<unsigned long>{0xC0000000, 0, 3, 0}));
    return outcome;
}

class PortDiscovery : public FreshProgramTest {};

}  // namespace

// Each row: a machine, then the error lines and what discovery listed. A candidate that does not open is
// dropped and the next one examined at its index. A failure is its text with the system's code in
// lower-case hex; a failing interface or key is skipped and the walk goes on; every record listed is
// tested and complete.
TEST_F(PortDiscovery, EachMachineGivesItsErrorAndItsList)
{
    const std::string longest(256 - Path("").size(), 'x');  // a device path of 256 characters fits
    const std::string n127(127, 'N'), n128(128, 'N'), p127(127, 'P'), f127(127, 'F');
    const auto registry = [](FakePortSystem& s) {
        s.version = {4, 1};
        s.openablePaths = {"\\\\.\\COM1", "\\\\.\\COM2", "\\\\.\\COM4", "\\\\.\\" + std::string(127, 'P')};
        Instance(s, {"Enum", "Root", "*PNP0500", "0000"}, "COM1", "First (COM1)");
    };
    const auto refusing = [&](const Strings& key) {
        return [=](FakePortSystem& s) {
            registry(s);
            Instance(s, {"Enum", "BIOS", "*PNP0501", "0000"}, "COM1");  // found again: the first place, the last content
            Instance(s, {"Enum", "BIOS", "*PNP0501", "0001"}, "COM3");
            Instance(s, {"Enum", "BIOS", "*PNP0501", "0002"}, "COM4", "Fourth (COM4)");
            Instance(s, {"Enum", "ISAPNP", "*PNP0501", "0000"}, "COM2", "Second (COM2)");
            s.Key(key).opens = false;
        };
    };
    struct Case {
        const char* label;
        std::function<void(FakePortSystem&)> machine;
        Strings outcome;
    };
    const Case cases[] = {
        {"suffixes", [](FakePortSystem& s) {
             s.interfaces = {Port("a", "Modem (COM123)", "Modem"), Port("b", "Redirector (COM3->COM4)"),
                             Port("c", "Twice (Port 2) (COM7)", ""), Port("shut", "Shut (COM9)", "Shut", "USB"),
                             Port("d", " (COM1)"), Port("e", "Spare (COM1) x"), Port("f", "Serial (COM1234)", "S", "USB"),
                             Port("g", "Intel(R) Active Management Technology - SOL (COM3)", "")};
         },
         {"", "COM123|\\\\.\\COM123|0|COM123-->Modem (COM123)", "COM3|\\\\.\\COM3|0|COM3-->Redirector (COM3->COM4)",
          "|" + Path("c") + "|0|-->Twice (Port 2) (COM7)", "|" + Path("d") + "|0|--> (COM1)",
          "|" + Path("e") + "|0|-->Spare (COM1) x", "|" + Path("f") + "|1|-->Serial (COM1234)",
          "|" + Path("g") + "|0|-->Intel(R) Active Management Technology - SOL (COM3)"}},
        {"version", [](FakePortSystem& s) { s.versionError = 0xD; }, {"Could not get OS version. (err=d)"}},
        {"class devices", [](FakePortSystem& s) { s.classDevsError = 0xE000020B; },
         {"SetupDiGetClassDevs failed. (err=e000020b)"}},
        {"interfaces", [](FakePortSystem& s) {
             s.interfaces = {Port("a", "A (COM1)"), Port("b", "B (COM2)")};
             s.enumFailureIndex = 1;
         },
         {"SetupDiEnumDeviceInterfaces failed. (err=1f)", "COM1|\\\\.\\COM1|0|COM1-->A (COM1)"}},
        {"detail", [&](FakePortSystem& s) {
             s.interfaces = {Port(longest, "L (COM1)"), Port(longest + "y", "M"), Port("c", "C (COM3)")};
         },
         {"SetupDiGetDeviceInterfaceDetail failed. (err=7a)", "COM1|\\\\.\\COM1|0|COM1-->L (COM1)",
          "COM3|\\\\.\\COM3|0|COM3-->C (COM3)"}},
        {"unterminated", [](FakePortSystem& s) {
             s.writesTerminators = false;
             s.interfaces = {Port("long-interface-path", "A long name (COM1)", "A long one", "USB"),
                             Port("b", "B (COM2)", "B", "US"), Port("c", std::string(256, 'F'))};
             s.openablePaths = {Path("long-interface-path"), Path("b"), Path("c")};
         },
         {"", "COM1|\\\\.\\COM1|1|COM1-->A long name (COM1)", "COM2|\\\\.\\COM2|0|COM2-->B (COM2)",
          "|" + Path("c") + "|0|-->" + std::string(255, 'F')}},
        // Names of 128 bytes with their zero do not fit: the level ends. Values of 128 count as missing.
        {"registry names and values", [&](FakePortSystem& s) {
             registry(s);
             Instance(s, {"Enum", "USBPORTS", n127, "0"}, p127, f127);
             Instance(s, {"Enum", "USBPORTS", n127, "1"}, std::string(128, 'P'));
             Instance(s, {"Enum", "USBPORTS", n127, "2"}, "COM4", std::string(128, 'F'));
             Instance(s, {"Enum", "USBPORTS", n127, "3"}, "COM1", "Again (COM1)");
             Instance(s, {"Enum", "USBPORTS", n128, "0"}, "COM5");
             Instance(s, {"Enum", n128, "*PNP0501", "0"}, "COM6");
             Instance(s, {"Enum", "Zeta", "*PNP0501", "0"}, "COM7");
         },
         {"", "COM1|\\\\.\\COM1|1|COM1-->Again (COM1)", p127 + "|\\\\.\\" + p127 + "|1|" + p127 + "-->" + f127,
          "COM4|\\\\.\\COM4|1|COM4-->COM4"}},
        // The system's texts in any script arrive whole; the path handed to the open call is exact.
        {"names in any script", [](FakePortSystem& s) {
             s.interfaces = {Port("a", u8"Port s\u00e9rie (COM5)", u8"Port s\u00e9rie"),
                             Port(u8"\u7aef", u8"\u901a\u4fe1\u7aef\u53e3 (COM12)")};
             s.openablePaths = {Path("a"), Path(u8"\u7aef")};
         },
         {"", u8"COM5|\\\\.\\COM5|0|COM5-->Port s\u00e9rie (COM5)",
          u8"COM12|\\\\.\\COM12|0|COM12-->\u901a\u4fe1\u7aef\u53e3 (COM12)"}},
        {"registry names in any script", [&](FakePortSystem& s) {
             registry(s);
             Instance(s, {"Enum", "USBPORTS", u8"\u7aef\u53e3", "0"}, "COM2", u8"\u901a\u4fe1\u7aef\u53e3 (COM2)");
             s.Key({"Enum", u8"P\u00e9riph"}).opens = false;
         },
         {u8"Could not read from HKLM\\Enum\\P\u00e9riph", "COM1|\\\\.\\COM1|0|COM1-->First (COM1)",
          u8"COM2|\\\\.\\COM2|1|COM2-->\u901a\u4fe1\u7aef\u53e3 (COM2)"}},
        {"registry refuses BIOS", refusing({"Enum", "BIOS"}),
         {"Could not read from HKLM\\Enum\\BIOS", "COM1|\\\\.\\COM1|0|COM1-->First (COM1)",
          "COM2|\\\\.\\COM2|0|COM2-->Second (COM2)"}},
        {"registry refuses an instance", refusing({"Enum", "BIOS", "*PNP0501", "0001"}),
         {"Could not read from HKLM\\Enum\\...\\0001", "COM1|\\\\.\\COM1|0|COM1-->COM1",
          "COM4|\\\\.\\COM4|0|COM4-->Fourth (COM4)", "COM2|\\\\.\\COM2|0|COM2-->Second (COM2)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FakePortSystem system;
        system.openablePaths = {Path("a"), Path("b"), Path("c"), Path("d"), Path("e"), Path("f"), Path("g"), Path(longest)};
        c.machine(system);
        EXPECT_EQ(Discover(system), c.outcome);
    }
}

TEST(SystemText, Utf16BecomesUtf8WithUnpairedSurrogatesReplaced)
{
    EXPECT_EQ(Utf8FromUtf16(u"Port s\u00e9rie \u901a\U0001F600"), u8"Port s\u00e9rie \u901a\U0001F600");
    EXPECT_EQ(Utf8FromUtf16(std::u16string{u'a', 0xD800, u'b', 0xDC00}), u8"a\uFFFDb\uFFFD");
}
