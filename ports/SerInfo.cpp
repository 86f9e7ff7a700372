#include "ports/SerInfo.h"

CArray<SSerInfo, SSerInfo&> portList;

std::string PortEntryText(const SSerInfo& record)
{
    return record.portName + "-->" + record.friendlyName;
}
