#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakePortSystem.h"
#include "ports/PortDiscovery.h"

namespace {

std::string InterfacePath(const std::string& device)
{
    return "\\\\?\\" + device + "#{86e0d1e0-8089-11d0-9ce4-08003e301f73}";
}

FakeInterface Port(const std::string& device, const std::string& friendlyName, const std::string& description,
                   const std::optional<std::string>& location = "")
{
    return FakeInterface{InterfacePath(device), friendlyName, description, location};
}

class DeviceInterfaceDiscovery : public ::testing::Test {
protected:
    FakePortSystem system;  // reports Windows 7
};

}  // namespace

TEST_F(DeviceInterfaceDiscovery, ListsThePortsThatOpenCompletedInTheirOrder)
{
    system.interfaces = {Port("acpi#pnp0501#1", "Communications Port (COM1)", "Communications Port"),
                         Port("b", "Port B (COM2)", "Port B"), Port("ftdibus#a1", "USB Serial Port (COM5)", "USB Serial Port"),
                         Port("d", "Port D (COM4)", "Port D")};
    system.openablePaths = {InterfacePath("acpi#pnp0501#1"), InterfacePath("ftdibus#a1")};

    EXPECT_EQ("", EnumerateReportingError(system));

    // A port that does not open is dropped; the next one, moved into its index, is examined there.
    EXPECT_EQ((Strings{"COM1-->Communications Port (COM1)", "COM5-->USB Serial Port (COM5)"}), EntryTexts());
    EXPECT_EQ("\\\\.\\COM1", portList[0].devicePath);
    // The presence test opens the interface paths exclusively, for reading and writing.
    EXPECT_EQ((Strings{InterfacePath("acpi#pnp0501#1"), InterfacePath("b"), InterfacePath("ftdibus#a1"), InterfacePath("d")}),
              system.presenceOpens);
    EXPECT_EQ((std::set<std::vector<unsigned long>>{{0xC0000000, 0, 3, 0}}), system.presenceArguments);
    EXPECT_TRUE(system.EverythingReleased());
}

TEST_F(DeviceInterfaceDiscovery, AnInterfaceNeedsAFriendlyNameAndADescription)
{
    system.interfaces = {FakeInterface{InterfacePath("nofriendly"), std::nullopt, "Port", "USB"},
                         FakeInterface{InterfacePath("nodesc"), "Port (COM2)", std::nullopt, std::nullopt},
                         Port("kept", "Port (COM3)", "Port")};
    system.openablePaths = {InterfacePath("nofriendly"), InterfacePath("nodesc"), InterfacePath("kept")};

    EXPECT_EQ("", EnumerateReportingError(system));

    EXPECT_EQ(Strings{"COM3"}, PortNames());
    // The description is asked only after a friendly name; the location always.
    const Strings expectedCalls = {"version", "class devices 18",  // present device interfaces
                                   "interface 0", "detail", "property 12", "property 13",
                                   "interface 1", "detail", "property 12", "property 0", "property 13",
                                   "interface 2", "detail", "property 12", "property 0", "property 13",
                                   "interface 3", "destroy"};
    EXPECT_EQ(expectedCalls, system.calls);
}

TEST_F(DeviceInterfaceDiscovery, OnlyALocationBeginningWithUsbInCapitalsMarksAUsbPort)
{
    const std::pair<std::optional<std::string>, int> locations[] = {
        {"USB", 1}, {"USB\\VID_0403&PID_6001", 1}, {"usb port 1", 0}, {"US", 0}, {"Port_#0001.Hub_#0004", 0}, {std::nullopt, 0}};
    std::vector<int> expected;
    for (const auto& [location, isUsb] : locations) {
        const std::string device = "dev" + std::to_string(expected.size());
        system.interfaces.push_back(Port(device, "Port (COM" + std::to_string(expected.size() + 1) + ")", "Port", location));
        system.openablePaths.insert(InterfacePath(device));
        expected.push_back(isUsb);
    }

    EXPECT_EQ("", EnumerateReportingError(system));

    std::vector<int> flags;
    for (std::ptrdiff_t i = 0; i < portList.GetSize(); ++i) flags.push_back(portList[i].isUsb);
    EXPECT_EQ(expected, flags);
}

TEST_F(DeviceInterfaceDiscovery, FailuresRaiseTheirTextWithTheErrorCodeInLowerCaseHex)
{
    system.versionSucceeds = false;
    EXPECT_EQ("Could not get OS version. (err=d)", EnumerateReportingError(system));
    EXPECT_EQ(0, portList.GetSize());

    system.versionSucceeds = true;
    system.classDevsError = 0xE000020B;
    EXPECT_EQ("SetupDiGetClassDevs failed. (err=e000020b)", EnumerateReportingError(system));
    EXPECT_TRUE(system.EverythingReleased());

    system.classDevsError = 0;
    system.interfaces = {Port("a", "Port A (COM1)", "Port A"), Port("b", "Port B (COM2)", "Port B")};
    system.openablePaths = {InterfacePath("a"), InterfacePath("b")};
    system.enumFailureIndex = 1;
    system.enumFailureError = 0x1F;
    EXPECT_EQ("SetupDiEnumDeviceInterfaces failed. (err=1f)", EnumerateReportingError(system));
    EXPECT_TRUE(system.EverythingReleased());
    // What was gathered before the error stays, neither tested nor completed.
    ASSERT_EQ(1, portList.GetSize());
    EXPECT_EQ(InterfacePath("a"), portList[0].devicePath);
    EXPECT_EQ("", portList[0].portName);
    EXPECT_TRUE(system.presenceOpens.empty());

    // A device path of 256 characters fits; a longer one ends the enumeration.
    const std::string longest = std::string(256 - InterfacePath("").size(), 'x');
    system.enumFailureIndex.reset();
    system.interfaces = {Port(longest, "Long (COM1)", "Long"), Port(longest + "y", "Longer (COM2)", "Longer"),
                         Port("c", "Port C (COM3)", "Port C")};
    EXPECT_EQ("SetupDiGetDeviceInterfaceDetail failed. (err=7a)", EnumerateReportingError(system));
    EXPECT_TRUE(system.EverythingReleased());
    ASSERT_EQ(1, portList.GetSize());
    EXPECT_EQ(InterfacePath(longest), portList[0].devicePath);
}

TEST_F(DeviceInterfaceDiscovery, UnterminatedTextsEndWithinTheirBuffers)
{
    system.writesTerminators = false;
    const std::string fullProperty(256, 'F');
    system.interfaces = {Port("first-interface-with-a-long-path", "A long friendly name (COM1)", "A long description", "USB"),
                         Port("b", "B (COM2)", "B", "US"), Port("c", fullProperty, "C")};
    system.openablePaths = {InterfacePath("first-interface-with-a-long-path"), InterfacePath("b"), InterfacePath("c")};

    EXPECT_EQ("", EnumerateReportingError(system));

    ASSERT_EQ(3, portList.GetSize());
    EXPECT_EQ("B (COM2)", portList[1].friendlyName);
    EXPECT_EQ("B", portList[1].description);
    EXPECT_EQ(0, portList[1].isUsb);
    EXPECT_EQ(InterfacePath("b"), system.presenceOpens[1]);
    EXPECT_EQ(std::string(255, 'F'), portList[2].friendlyName);
}
