#include "cli/ReportCommand.h"

#include "cli/Cli.h"
#include "cli/CliHost.h"
#include "cli/Report.h"
#include "cli/ReportPage.h"

namespace {

struct ReportOptions {
    std::vector<std::string> files;
    std::string output;  // empty: standard output
    std::string title = kDefaultReportTitle;
};

// A refusal: one line on standard error, exit 2, nothing written.
int Refuse(CliHost& host, const std::string& reason)
{
    host.Err("tarvik-cli: " + reason + "\n");
    return kExitUsage;
}

}  // namespace

int ReportCommand(const std::vector<std::string>& words, CliHost& host)
{
    ReportOptions options;
    bool filesOnly = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::string word = words[i];
        if (filesOnly || word.size() < 2 || word[0] != '-') {
            options.files.push_back(word);
            continue;
        }
        if (word == "--") {
            filesOnly = true;
            continue;
        }
        // --title=TEXT as the other commands take their options; -o takes its value as the next word.
        const std::size_t equals = word.rfind("--", 0) == 0 ? word.find('=') : std::string::npos;
        std::string value = equals == std::string::npos ? std::string() : word.substr(equals + 1);
        if (equals != std::string::npos) word.erase(equals);
        if (word != "-o" && word != "--title") return Refuse(host, "unknown option " + word);
        if (equals == std::string::npos) {
            if (i + 1 >= words.size()) return Refuse(host, word + " needs a value");
            value = words[++i];
        }
        (word == "-o" ? options.output : options.title) = value;
    }
    if (options.files.empty()) return Refuse(host, "no readings file");

    Report report;
    try {
        report = GatherReport(options.files, [&host](const std::string& name) { return host.OpenFile(name); });
    } catch (const ReportInputError& error) {
        return Refuse(host, error.what());
    }
    const std::string page = ReportPage(report, options.title, SystemUtcOffset);
    if (options.output.empty()) {
        host.Out(page);
        return host.OutputFailed() ? kExitSensorFailed : kExitOk;
    }
    // The page is whole before the file is opened: a refusal leaves nothing at the name.
    if (!host.WriteWholeFile(options.output, page)) return Refuse(host, options.output + ": cannot be written");
    return kExitOk;
}
