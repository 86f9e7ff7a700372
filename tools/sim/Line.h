// The simulator's end of the serial line: a pseudo-terminal it creates (holding the far end open so
// that the terminal and its settings outlive every program that opens and closes it), or a real
// serial device. Optionally a symlink at a fixed path points to the end to connect.
#pragma once

#include <string>

namespace sim {

class Line {
public:
    // An empty devicePath: a new pseudo-terminal at each Open.
    Line(std::string devicePath, std::string linkPath);
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;
    ~Line();

    bool Open(std::string& error);
    // Closes both ends and removes the symlink if it still points to this line.
    void Close();
    bool IsOpen() const { return fd_ >= 0; }
    int Fd() const { return fd_; }
    // The path a master opens: the pseudo-terminal's far end, or the device.
    const std::string& Path() const { return path_; }

private:
    bool OpenPseudoTerminal(std::string& error);
    bool OpenDevice(std::string& error);
    bool PlaceLink(std::string& error);

    std::string devicePath_;
    std::string linkPath_;
    std::string path_;
    int fd_ = -1;
    int heldFarEnd_ = -1;
};

}
