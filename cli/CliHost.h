// What tarvik-cli needs from the system it runs on: its serial line, its port list, its standard
// streams and Ctrl-C. Linux and Windows each bind one.
#pragma once

#include <istream>
#include <memory>
#include <string>

class SerialLine;

class CliHost {
public:
    virtual ~CliHost() = default;

    // Opens the port named on the command line, held exclusively, with the line settings applied.
    // False with one line saying why.
    virtual bool OpenPort(const std::string& port, std::string& failure) = 0;
    // The line OpenPort opened; it is released when the host goes.
    virtual SerialLine& Line() = 0;
    // Prints the machine's serial ports on standard output, one a line.
    virtual void ListPorts() = 0;

    // The program's own texts are code page 936; everything the streams carry is UTF-8, so that the
    // arguments a user typed come back as typed.
    virtual std::string Utf8FromProgramText(const std::string& text) = 0;
    // UTF-8 texts on standard output and standard error, as the terminal, console or file takes them.
    virtual void Out(const std::string& text) = 0;
    virtual void Err(const std::string& text) = 0;
    // A write to standard output has failed; the host has said why on standard error, unless the
    // reader had gone (a closed pipe), which ends the run quietly.
    virtual bool OutputFailed() const = 0;

    // A file named on the command line (UTF-8), opened for reading as the system names it; null when it
    // cannot be read.
    virtual std::unique_ptr<std::istream> OpenFile(const std::string& name) = 0;
    // Writes `bytes` as the whole file. A file that could not be written whole is removed when it is an
    // ordinary file (never a device or pipe named there). False when the write failed.
    virtual bool WriteWholeFile(const std::string& name, const std::string& bytes) = 0;

    // Sleeps ms, ending early on Ctrl-C.
    virtual void Pause(unsigned ms) = 0;
    // Ctrl-C has come.
    virtual bool Interrupted() const = 0;
};
