#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakePortSystem.h"
#include "ports/PortDiscovery.h"

namespace {

constexpr unsigned long kWin32Windows = 1;

void AddInstance(FakePortSystem& system, const Strings& path, const std::string& portName, const std::string& friendlyName)
{
    FakeRegistryKey& instance = system.Key(path);
    if (!portName.empty()) instance.values["PORTNAME"] = portName;
    if (!friendlyName.empty()) instance.values["FRIENDLYNAME"] = friendlyName;
}

class OlderWindowsDiscovery : public ::testing::Test {
protected:
    void SetUp() override { system.version = {4, kWin32Windows}; }
    FakePortSystem system;
};

}  // namespace

TEST(ChoosePortMethod, TheVersionChoosesDeviceInstallerFixedNamesOrRegistry)
{
    struct Case {
        OsVersion version;
        const char* method;
    };
    const Case cases[] = {{{5, kVerPlatformWin32Nt}, "device installer"}, {{10, kVerPlatformWin32Nt}, "device installer"},
                          {{4, kVerPlatformWin32Nt}, "fixed names"},      {{3, kVerPlatformWin32Nt}, "fixed names"},
                          {{4, kWin32Windows}, "registry"},               {{4, 0}, "registry"}};
    for (const Case& each : cases) {
        FakePortSystem system;
        system.version = each.version;
        // The registry walk is the one that looks for HKLM\Enum, which this machine lacks.
        const bool registry = EnumerateReportingError(system) == "Could not read from HKLM\\Enum";
        const char* method = registry                            ? "registry"
                             : system.calls.size() > 1           ? "device installer"
                             : system.presenceOpens.size() == 16 ? "fixed names"
                                                                 : "none";
        EXPECT_EQ(each.method, std::string(method)) << each.version.majorVersion << " " << each.version.platformId;
        EXPECT_TRUE(system.EverythingReleased());
    }
}

TEST(EnumerateComCandidates, WindowsNt4KeepsTheFixedNamesThatOpen)
{
    FakePortSystem system;
    system.version = {4, kVerPlatformWin32Nt};
    system.openablePaths = {"\\\\.\\COM2", "\\\\.\\COM12"};

    EXPECT_EQ("", EnumerateReportingError(system));

    Strings candidates;
    for (int n = 1; n <= 16; ++n) candidates.push_back("\\\\.\\COM" + std::to_string(n));
    EXPECT_EQ(candidates, system.presenceOpens);
    EXPECT_EQ((Strings{"COM2-->COM2", "COM12-->COM12"}), EntryTexts());
    EXPECT_EQ("\\\\.\\COM2", portList[0].devicePath);
    EXPECT_EQ("COM2", portList[0].description);
    EXPECT_EQ(Strings{"version"}, system.calls);
    EXPECT_TRUE(system.EverythingReleased());
}

TEST_F(OlderWindowsDiscovery, TheRegistryWalkFindsSerialDevicesAndEveryUsbPortsDevice)
{
    AddInstance(system, {"Enum", "Root", "*PNP0501", "0000"}, "COM1", "Communications Port (COM1)");
    AddInstance(system, {"Enum", "Root", "*pnp0501", "0000"}, "COM9", "Lower-case id (COM9)");
    AddInstance(system, {"Enum", "Root", "PNP0400", "0000"}, "LPT1", "Printer Port (LPT1)");
    AddInstance(system, {"Enum", "BIOS", "*PNP0500", "0000"}, "COM2", "");
    AddInstance(system, {"Enum", "BIOS", "*PNP0500", "0001"}, "", "No port name (COM8)");
    AddInstance(system, {"Enum", "usbports", "VID_067B", "0000"}, "COM10", "Lower-case enumerator (COM10)");
    AddInstance(system, {"Enum", "usbports", "*PNP0501", "0000"}, "COM11", "Serial under usbports (COM11)");
    AddInstance(system, {"Enum", "USBPORTS", "VID_0403&PID_6001", "0000"}, "COM5", "USB Serial Port (COM5)");
    // Found again: the first place, the last content.
    AddInstance(system, {"Enum", "USBPORTS", "VID_0403&PID_6001", "0001"}, "COM1", "USB Serial Port (COM1)");

    EXPECT_EQ("", ErrorOf(EnumerateByRegistry, system));

    EXPECT_EQ((Strings{"COM1-->USB Serial Port (COM1)", "COM2-->", "COM11-->Serial under usbports (COM11)",
                       "COM5-->USB Serial Port (COM5)"}),
              EntryTexts());
    EXPECT_EQ("\\\\.\\COM1", portList[0].devicePath);
    EXPECT_EQ((std::vector<int>{1, 0, 0, 1}),
              (std::vector<int>{portList[0].isUsb, portList[1].isUsb, portList[2].isUsb, portList[3].isUsb}));
    for (std::ptrdiff_t index = 0; index < portList.GetSize(); ++index) EXPECT_EQ("", portList[index].description);
    EXPECT_EQ(std::set<unsigned long>{0x20019}, system.registryAccess);
    EXPECT_TRUE(system.EverythingReleased());
}

TEST_F(OlderWindowsDiscovery, NamesAndValuesThatDoNotFitEndTheLevelOrCountAsMissing)
{
    const std::string name127(127, 'N');
    const std::string name128(128, 'N');
    AddInstance(system, {"Enum", "USBPORTS", name127, "0000"}, "COM1", std::string(127, 'F'));
    AddInstance(system, {"Enum", "USBPORTS", name127, "0001"}, std::string(127, 'P'), "");
    AddInstance(system, {"Enum", "USBPORTS", name127, "0002"}, std::string(128, 'P'), "Too long a port name (COM3)");
    AddInstance(system, {"Enum", "USBPORTS", name127, "0003"}, "COM4", std::string(128, 'F'));
    AddInstance(system, {"Enum", "USBPORTS", name128, "0000"}, "COM5", "");
    AddInstance(system, {"Enum", "USBPORTS", "*PNP0501", "0000"}, "COM6", "");
    system.Key({"Enum", name128});
    AddInstance(system, {"Enum", "Root", "*PNP0501", "0000"}, "COM7", "");

    EXPECT_EQ("", ErrorOf(EnumerateByRegistry, system));

    ASSERT_EQ((Strings{"COM1", std::string(127, 'P'), "COM4"}), PortNames());
    EXPECT_EQ(std::string(127, 'F'), portList[0].friendlyName);
    EXPECT_EQ("", portList[2].friendlyName);
    EXPECT_TRUE(system.EverythingReleased());
}

TEST(RegistryDiscovery, AKeyThatCannotBeOpenedRaisesItsPathAndClosesEveryKey)
{
    struct Case {
        Strings refusingKey;
        const char* message;
        Strings kept;
    };
    const Case cases[] = {
        {{"Enum"}, "Could not read from HKLM\\Enum", {}},
        {{"Enum", "BIOS"}, "Could not read from HKLM\\Enum\\BIOS", {"COM1"}},
        {{"Enum", "BIOS", "*PNP0501"}, "Could not read from HKLM\\Enum\\BIOS\\*PNP0501", {"COM1"}},
        {{"Enum", "BIOS", "*PNP0501", "0001"}, "Could not read from HKLM\\Enum\\...\\0001", {"COM1", "COM2"}},
    };
    for (const Case& each : cases) {
        SCOPED_TRACE(each.message);
        FakePortSystem system;
        system.version = {4, kWin32Windows};
        AddInstance(system, {"Enum", "Root", "*PNP0500", "0000"}, "COM1", "Communications Port (COM1)");
        AddInstance(system, {"Enum", "BIOS", "*PNP0501", "0000"}, "COM2", "Communications Port (COM2)");
        AddInstance(system, {"Enum", "BIOS", "*PNP0501", "0001"}, "COM3", "Communications Port (COM3)");
        AddInstance(system, {"Enum", "BIOS", "*PNP0501", "0002"}, "COM4", "Communications Port (COM4)");
        system.Key(each.refusingKey).opens = false;
        system.openablePaths = {"\\\\.\\COM1", "\\\\.\\COM2"};

        EXPECT_EQ(each.message, EnumerateReportingError(system));

        EXPECT_TRUE(system.EverythingReleased());
        EXPECT_TRUE(system.presenceOpens.empty());
        // What was merged before the failure stays, as the walk found it.
        EXPECT_EQ(each.kept, PortNames());
        for (std::ptrdiff_t index = 0; index < portList.GetSize(); ++index) EXPECT_EQ("", portList[index].description);
    }
}

TEST_F(OlderWindowsDiscovery, UnterminatedNamesAndValuesEndWithinTheirBuffers)
{
    system.writesTerminators = false;
    AddInstance(system, {"Enum", "ACPI_WITH_A_LONGER_NAME", "*PNP0501", "0000-with-suffix"}, "COM10", "Long one (COM10)");
    AddInstance(system, {"Enum", "ACPI_WITH_A_LONGER_NAME", "*PNP0501", "1"}, "COM1", "P (COM1)");
    AddInstance(system, {"Enum", "Root", "*PNP0501", "0"}, "COM2", "");
    AddInstance(system, {"Enum", "USBPORTS", std::string(128, 'U'), "0"}, "COM3", "");

    // The 128-character name, written without its zero, fits the buffer and is cut to 127 characters,
    // which names no key.
    EXPECT_EQ("Could not read from HKLM\\Enum\\USBPORTS\\" + std::string(127, 'U'), ErrorOf(EnumerateByRegistry, system));

    ASSERT_EQ((Strings{"COM10", "COM1", "COM2"}), PortNames());
    EXPECT_EQ("P (COM1)", portList[1].friendlyName);
    EXPECT_TRUE(system.EverythingReleased());
}
