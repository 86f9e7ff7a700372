#include <gtest/gtest.h>

#include <string>

#include "ports/PortDiscovery.h"

namespace {

SSerInfo Record(const std::string& devicePath, const std::string& portName, const std::string& friendlyName,
                const std::string& description, int isUsb = 0)
{
    return SSerInfo{devicePath, portName, friendlyName, isUsb, description};
}

// A record's fields in one text, so that a failure shows all of them.
std::string Fields(const SSerInfo& record)
{
    return record.devicePath + " | " + record.portName + " | " + record.friendlyName + " | " + record.description +
           " | " + std::to_string(record.isUsb);
}

const std::string kInterfacePath = "\\\\?\\acpi#pnp0501#1#{86e0d1e0-8089-11d0-9ce4-08003e301f73}";

}  // namespace

TEST(CompletePortRecord, NamesAndPathComeFromTheFriendlyNamesSuffixOrTheCandidate)
{
    struct Case {
        SSerInfo candidate;
        SSerInfo completed;
    };
    const std::string& path = kInterfacePath;
    const Case cases[] = {
        {Record(path, "", "Communications Port (COM1)", "Communications Port"),
         Record("\\\\.\\COM1", "COM1", "Communications Port (COM1)", "Communications Port")},
        // Six characters are a port name as they stand; longer ones are a mapping, cut before "->".
        {Record(path, "", "Modem (COM123)", "Modem"), Record("\\\\.\\COM123", "COM123", "Modem (COM123)", "Modem")},
        {Record(path, "", "Redirector (COM3->COM4)", "R"), Record("\\\\.\\COM3", "COM3", "Redirector (COM3->COM4)", "R")},
        {Record("\\\\.\\COM9", "COM9", "USB Serial Port (COM5)", "", 1),
         Record("\\\\.\\COM5", "COM5", "USB Serial Port (COM5)", "USB Serial Port", 1)},
        {Record("\\\\.\\COM2", "COM2", "", ""), Record("\\\\.\\COM2", "COM2", "COM2", "COM2")},
        // No suffix: none at all, more than one ")", " (" at the start, or text after the ")".
        {Record(path, "", "Bluetooth Link", "Serial over Bluetooth"), Record(path, "", "Bluetooth Link", "Serial over Bluetooth")},
        {Record(path, "", "Adapter (Port 2) (COM7)", ""), Record(path, "", "Adapter (Port 2) (COM7)", "Adapter (Port 2) (COM7)")},
        {Record(path, "", " (COM1)", ""), Record(path, "", " (COM1)", " (COM1)")},
        {Record(path, "", "Port (COM1) spare", ""), Record(path, "", "Port (COM1) spare", "Port (COM1) spare")},
        // A suffix that names no port empties the port name; the candidate's path, just opened, stays.
        {Record(path, "", "Serial (COM1234)", "Serial"), Record(path, "", "Serial (COM1234)", "Serial")},
        {Record("\\\\.\\COM6", "COM6", "Virtual Port (unnamed)", ""), Record("\\\\.\\COM6", "", "Virtual Port (unnamed)", "Virtual Port")},
        {Record(path, "", "Mapper (->COM4 twin)", "Mapper"), Record(path, "", "Mapper (->COM4 twin)", "Mapper")},
        {Record(path, "", "Empty ()", ""), Record(path, "", "Empty ()", "Empty")},
    };
    for (const Case& c : cases) {
        SSerInfo record = c.candidate;
        CompletePortRecord(record);
        EXPECT_EQ(Fields(record), Fields(c.completed));
    }
}

TEST(AddOrReplacePort, MergesByExactPortNameKeepingTheFirstPosition)
{
    portList.RemoveAll();
    AddOrReplacePort(Record("\\\\.\\COM1", "COM1", "First (COM1)", ""));
    AddOrReplacePort(Record("\\\\.\\COM2", "COM2", "Second (COM2)", ""));
    AddOrReplacePort(Record("\\\\.\\COM1", "COM1", "Again (COM1)", "later", 1));
    AddOrReplacePort(Record("\\\\.\\com1", "com1", "Lower case (com1)", ""));

    ASSERT_EQ(3, portList.GetSize());
    EXPECT_EQ(Fields(portList[0]), Fields(Record("\\\\.\\COM1", "COM1", "Again (COM1)", "later", 1)));
    EXPECT_EQ("COM2", portList[1].portName);
    EXPECT_EQ("com1", portList[2].portName);
    portList.RemoveAll();
}
