#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ports/PortDiscovery.h"

namespace {

struct CompletionCase {
    SSerInfo candidate;
    SSerInfo completed;
};

SSerInfo Record(const std::string& devicePath, const std::string& portName, const std::string& friendlyName,
                const std::string& description)
{
    SSerInfo record;
    record.devicePath = devicePath;
    record.portName = portName;
    record.friendlyName = friendlyName;
    record.description = description;
    return record;
}

void ExpectRecord(const SSerInfo& expected, const SSerInfo& actual)
{
    EXPECT_EQ(expected.devicePath, actual.devicePath);
    EXPECT_EQ(expected.portName, actual.portName);
    EXPECT_EQ(expected.friendlyName, actual.friendlyName);
    EXPECT_EQ(expected.isUsb, actual.isUsb);
    EXPECT_EQ(expected.description, actual.description);
}

void Complete(const std::vector<CompletionCase>& cases)
{
    for (const CompletionCase& each : cases) {
        SCOPED_TRACE("friendly name '" + each.candidate.friendlyName + "', port name '" + each.candidate.portName + "'");
        SSerInfo record = each.candidate;
        CompletePortRecord(record);
        ExpectRecord(each.completed, record);
    }
}

const std::string kInterfacePath = "\\\\?\\acpi#pnp0501#1#{86e0d1e0-8089-11d0-9ce4-08003e301f73}";

}  // namespace

TEST(CompletePortRecord, TakesThePortNameAndPathFromTheFriendlyNameSuffix)
{
    Complete({
        {Record(kInterfacePath, "", "Communications Port (COM1)", "Communications Port"),
         Record("\\\\.\\COM1", "COM1", "Communications Port (COM1)", "Communications Port")},
        // Six characters are a port name as they stand; longer ones are a mapping, cut before "->".
        {Record(kInterfacePath, "", "Modem (COM123)", "Modem"), Record("\\\\.\\COM123", "COM123", "Modem (COM123)", "Modem")},
        {Record(kInterfacePath, "", "Redirector (COM3->COM4)", "Redirector"),
         Record("\\\\.\\COM3", "COM3", "Redirector (COM3->COM4)", "Redirector")},
        {Record("\\\\.\\COM9", "COM9", "USB Serial Port (COM5)", ""),
         Record("\\\\.\\COM5", "COM5", "USB Serial Port (COM5)", "USB Serial Port")},
    });
}

TEST(CompletePortRecord, FillsMissingNamesFromThePortName)
{
    Complete({
        {Record("\\\\.\\COM2", "COM2", "", ""), Record("\\\\.\\COM2", "COM2", "COM2", "COM2")},
        // Only COM1 to COM9 open without the "\\.\" prefix: the candidate's path is kept.
        {Record("\\\\.\\COM12", "COM12", "", ""), Record("\\\\.\\COM12", "COM12", "COM12", "COM12")},
    });
}

TEST(CompletePortRecord, KeepsTheCandidatePathWhenTheFriendlyNameStatesNoPort)
{
    Complete({
        {Record(kInterfacePath, "", "Bluetooth Link", "Standard Serial over Bluetooth link"),
         Record(kInterfacePath, "", "Bluetooth Link", "Standard Serial over Bluetooth link")},
        // More than one ")": no suffix.
        {Record(kInterfacePath, "", "Adapter (Port 2) (COM7)", ""),
         Record(kInterfacePath, "", "Adapter (Port 2) (COM7)", "Adapter (Port 2) (COM7)")},
        // " (" at the start: nothing is cut or derived.
        {Record(kInterfacePath, "", " (COM1)", ""), Record(kInterfacePath, "", " (COM1)", " (COM1)")},
        {Record(kInterfacePath, "", "Port (COM1) spare", ""),
         Record(kInterfacePath, "", "Port (COM1) spare", "Port (COM1) spare")},
        {Record("\\\\.\\COM4", "COM4", "Registry Port", ""), Record("\\\\.\\COM4", "COM4", "Registry Port", "Registry Port")},
    });
}

TEST(CompletePortRecord, AnEmptyDerivedPortNameEmptiesThePortNameButKeepsThePath)
{
    Complete({
        {Record(kInterfacePath, "", "Serial (COM1234)", "Serial"), Record(kInterfacePath, "", "Serial (COM1234)", "Serial")},
        {Record("\\\\.\\COM6", "COM6", "Virtual Port (unnamed)", ""),
         Record("\\\\.\\COM6", "", "Virtual Port (unnamed)", "Virtual Port")},
        {Record(kInterfacePath, "", "Mapper (->COM4 twin)", "Mapper"), Record(kInterfacePath, "", "Mapper (->COM4 twin)", "Mapper")},
        {Record(kInterfacePath, "", "Empty ()", ""), Record(kInterfacePath, "", "Empty ()", "Empty")},
    });
}

TEST(CompletePortRecord, LeavesTheUsbFlagAlone)
{
    SSerInfo record = Record(kInterfacePath, "", "USB Serial Port (COM8)", "USB Serial Port");
    record.isUsb = 1;
    CompletePortRecord(record);
    EXPECT_EQ(1, record.isUsb);
}

TEST(PortEntryText, IsThePortNameAnArrowAndTheFriendlyName)
{
    EXPECT_EQ("COM3-->Communications Port (COM3)",
              PortEntryText(Record("\\\\.\\COM3", "COM3", "Communications Port (COM3)", "Communications Port")));
    EXPECT_EQ("-->Bluetooth Link", PortEntryText(Record(kInterfacePath, "", "Bluetooth Link", "")));
}

TEST(AddOrReplacePort, MergesByExactPortNameKeepingTheFirstPosition)
{
    portList.RemoveAll();
    AddOrReplacePort(Record("\\\\.\\COM1", "COM1", "First (COM1)", ""));
    AddOrReplacePort(Record("\\\\.\\COM2", "COM2", "Second (COM2)", ""));
    SSerInfo again = Record("\\\\.\\COM1", "COM1", "Again (COM1)", "later");
    again.isUsb = 1;
    AddOrReplacePort(again);
    AddOrReplacePort(Record("\\\\.\\com1", "com1", "Lower case (com1)", ""));

    ASSERT_EQ(3, portList.GetSize());
    ExpectRecord(again, portList[0]);
    EXPECT_EQ("COM2", portList[1].portName);
    EXPECT_EQ("com1", portList[2].portName);
    portList.RemoveAll();
}
