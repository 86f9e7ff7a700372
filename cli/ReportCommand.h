// tarvik-cli report: the commissioning record of one or more readings files.
#pragma once

#include <string>
#include <vector>

class CliHost;

// The words after "report": FILE.csv... [-o OUT.html] [--title TEXT]. The exit status.
int ReportCommand(const std::vector<std::string>& words, CliHost& host);
