// What tarvik-cli needs from the system it runs on: its serial line, its port list, its standard
// streams and Ctrl-C. Linux and Windows each bind one.
#pragma once

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

    // The program's texts (code page 936) on standard output and standard error, converted for the
    // terminal, console or file they go to.
    virtual void Out(const std::string& text) = 0;
    virtual void Err(const std::string& text) = 0;
    // UTF-8 text on standard output as it is (a console shows it as Unicode).
    virtual void OutUtf8(const std::string& text) = 0;
    // A word of the command line in UTF-8: Linux gives UTF-8 already, Windows its ANSI code page.
    virtual std::string Utf8FromArgument(const std::string& word) const = 0;

    // Sleeps ms, ending early on Ctrl-C.
    virtual void Pause(unsigned ms) = 0;
    // Ctrl-C has come.
    virtual bool Interrupted() const = 0;
};
