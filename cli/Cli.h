// tarvik-cli: the sensor exchanges of the dialog from a command line.
#pragma once

#include <string>
#include <vector>

class CliHost;

enum ExitStatus { kExitOk = 0, kExitSensorFailed = 1, kExitUsage = 2 };

// Runs the command given by the arguments (program name excluded); the exit status.
int RunCli(const std::vector<std::string>& arguments, CliHost& host);
