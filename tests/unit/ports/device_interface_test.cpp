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
                   const std::string& location = "")
{
    return FakeInterface{InterfacePath(device), friendlyName, description, location};
}

class DeviceInterfaceDiscovery : public ::testing::Test {
protected:
    FakePortSystem system;  // reports Windows 7
};

}  // namespace

TEST_F(DeviceInterfaceDiscovery, ListsThePresentPortsCompletedInTheirOrder)
{
    system.interfaces = {Port("acpi#pnp0501#1", "Communications Port (COM1)", "Communications Port", "ACPI"),
                         Port("ftdibus#a1", "USB Serial Port (COM5)", "USB Serial Port", "USB-Anschluss 2")};
    system.openablePaths = {InterfacePath("acpi#pnp0501#1"), InterfacePath("ftdibus#a1")};

    EXPECT_EQ("", EnumerateReportingError(system));

    ASSERT_EQ(2, portList.GetSize());
    EXPECT_EQ("\\\\.\\COM1", portList[0].devicePath);
    EXPECT_EQ("COM1", portList[0].portName);
    EXPECT_EQ("Communications Port (COM1)", portList[0].friendlyName);
    EXPECT_EQ(0, portList[0].isUsb);
    EXPECT_EQ("Communications Port", portList[0].description);
    EXPECT_EQ("COM5-->USB Serial Port (COM5)", PortEntryText(portList[1]));
    EXPECT_EQ(1, portList[1].isUsb);

    // The interface paths are what the presence test opens: exclusively, for reading and writing.
    EXPECT_EQ((std::vector<std::string>{InterfacePath("acpi#pnp0501#1"), InterfacePath("ftdibus#a1")}), system.presenceOpens);
    EXPECT_EQ(std::set<unsigned long>{0xC0000000}, system.presenceAccess);
    EXPECT_EQ(std::set<unsigned long>{0}, system.presenceShareModes);
    EXPECT_EQ(std::set<unsigned long>{3}, system.presenceDispositions);
    EXPECT_EQ(std::set<unsigned long>{0}, system.presenceFlags);
    EXPECT_EQ(std::vector<unsigned long>{0x12}, system.classDevsFlags);
    EXPECT_TRUE(system.EverythingReleased());
}

TEST_F(DeviceInterfaceDiscovery, PortsThatCannotBeOpenedAreDroppedWithoutSkippingTheNext)
{
    system.interfaces = {Port("a", "Port A (COM1)", "Port A"), Port("b", "Port B (COM2)", "Port B"),
                         Port("c", "Port C (COM3)", "Port C"), Port("d", "Port D (COM4)", "Port D")};
    system.openablePaths = {InterfacePath("c")};

    EXPECT_EQ("", EnumerateReportingError(system));

    EXPECT_EQ(std::vector<std::string>{"COM3"}, PortNames());
    EXPECT_EQ(4u, system.presenceOpens.size());
    EXPECT_TRUE(system.EverythingReleased());
}

TEST_F(DeviceInterfaceDiscovery, EveryEnumerationStartsFromAnEmptyList)
{
    system.interfaces = {Port("a", "Port A (COM1)", "Port A")};
    system.openablePaths = {InterfacePath("a")};
    EXPECT_EQ("", EnumerateReportingError(system));
    ASSERT_EQ(1, portList.GetSize());

    system.interfaces.clear();
    EXPECT_EQ("", EnumerateReportingError(system));
    EXPECT_EQ(0, portList.GetSize());
}

TEST_F(DeviceInterfaceDiscovery, AnInterfaceNeedsAFriendlyNameAndADescription)
{
    system.interfaces = {FakeInterface{InterfacePath("nofriendly"), std::nullopt, "Port", "USB"},
                         FakeInterface{InterfacePath("nodesc"), "Port (COM2)", std::nullopt, std::nullopt},
                         Port("kept", "Port (COM3)", "Port")};
    system.openablePaths = {InterfacePath("nofriendly"), InterfacePath("nodesc"), InterfacePath("kept")};

    EXPECT_EQ("", EnumerateReportingError(system));

    EXPECT_EQ(std::vector<std::string>{"COM3"}, PortNames());
    // The description is asked only after a friendly name; the location always.
    const std::vector<std::string> expectedCalls = {
        "version", "class devices",
        "interface 0", "detail", "property 12", "property 13",
        "interface 1", "detail", "property 12", "property 0", "property 13",
        "interface 2", "detail", "property 12", "property 0", "property 13",
        "interface 3", "destroy"};
    EXPECT_EQ(expectedCalls, system.calls);
}

TEST_F(DeviceInterfaceDiscovery, OnlyALocationBeginningWithUsbInCapitalsMarksAUsbPort)
{
    const std::vector<std::pair<std::optional<std::string>, int>> locations = {
        {"USB", 1}, {"USB\\VID_0403&PID_6001", 1}, {"usb port 1", 0}, {"US", 0}, {"Port_#0001.Hub_#0004", 0}, {std::nullopt, 0}};
    for (std::size_t i = 0; i < locations.size(); ++i) {
        const std::string device = "dev" + std::to_string(i);
        system.interfaces.push_back(FakeInterface{InterfacePath(device), "Port (COM" + std::to_string(i + 1) + ")", "Port",
                                                  locations[i].first});
        system.openablePaths.insert(InterfacePath(device));
    }

    EXPECT_EQ("", EnumerateReportingError(system));

    ASSERT_EQ(static_cast<std::ptrdiff_t>(locations.size()), portList.GetSize());
    for (std::size_t i = 0; i < locations.size(); ++i) {
        EXPECT_EQ(locations[i].second, portList[static_cast<std::ptrdiff_t>(i)].isUsb)
            << "location " << locations[i].first.value_or("(missing)");
    }
}

TEST_F(DeviceInterfaceDiscovery, FailuresRaiseTheirTextWithTheErrorCodeInLowerCaseHex)
{
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
}

TEST_F(DeviceInterfaceDiscovery, ADevicePathOfMoreThan256CharactersEndsTheEnumeration)
{
    const std::string longest = std::string(256 - InterfacePath("").size(), 'x');
    system.interfaces = {Port(longest, "Long (COM1)", "Long"), Port(longest + "y", "Longer (COM2)", "Longer"),
                         Port("c", "Port C (COM3)", "Port C")};
    ASSERT_EQ(256u, system.interfaces[0].devicePath.size());

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
                         Port("b", "B (COM2)", "B", "US"),
                         Port("c", fullProperty, "C")};
    system.openablePaths = {InterfacePath("first-interface-with-a-long-path"), InterfacePath("b"), InterfacePath("c")};

    EXPECT_EQ("", EnumerateReportingError(system));

    ASSERT_EQ(3, portList.GetSize());
    EXPECT_EQ("COM1", portList[0].portName);
    EXPECT_EQ("B (COM2)", portList[1].friendlyName);
    EXPECT_EQ("B", portList[1].description);
    EXPECT_EQ(0, portList[1].isUsb);
    EXPECT_EQ(InterfacePath("b"), system.presenceOpens[1]);
    EXPECT_EQ(std::string(255, 'F'), portList[2].friendlyName);
}
