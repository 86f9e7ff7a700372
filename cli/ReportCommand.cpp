#include "cli/ReportCommand.h"

#include <filesystem>
#include <fstream>

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

bool Written(const std::string& path, const std::string& page)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(page.data(), static_cast<std::streamsize>(page.size()));
    out.close();
    return !out.fail();
}

}  // namespace

int ReportCommand(const std::vector<std::string>& words, CliHost& host)
{
    ReportOptions options;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "-o" || word == "--title") {
            if (i + 1 >= words.size()) return Refuse(host, word + " needs a value");
            ++i;
            if (word == "-o") options.output = words[i];
            else options.title = host.Utf8FromArgument(words[i]);
        } else if (word.size() > 1 && word[0] == '-') {
            return Refuse(host, "unknown option " + word);
        } else {
            options.files.push_back(word);
        }
    }
    if (options.files.empty()) return Refuse(host, "no readings file");

    Report report;
    try {
        report = GatherReport(options.files, [](const std::string& name) -> std::unique_ptr<std::istream> {
            auto in = std::make_unique<std::ifstream>(name, std::ios::binary);
            if (!*in) return nullptr;
            return in;
        });
    } catch (const ReportInputError& error) {
        return Refuse(host, error.what());
    }
    // Files are opened and named in errors as given; the page shows their names in UTF-8.
    for (SourceFile& file : report.files) file.name = host.Utf8FromArgument(file.name);
    const std::string page = ReportPage(report, options.title, SystemUtcOffset);
    if (options.output.empty()) {
        host.OutUtf8(page);
        return kExitOk;
    }
    // The page is whole before the file is opened; a file that could not be written whole goes (a
    // device or a pipe named there is left alone).
    if (!Written(options.output, page)) {
        std::error_code ignored;
        if (std::filesystem::is_regular_file(options.output, ignored)) std::filesystem::remove(options.output, ignored);
        return Refuse(host, options.output + ": cannot be written");
    }
    return kExitOk;
}
