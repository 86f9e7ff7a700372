#include "SimHarness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace simtest {

namespace {

void Check(bool condition, const std::string& what)
{
    if (!condition) throw std::runtime_error(what + ": " + std::strerror(errno));
}

int RemainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool WaitReadable(int fd, Clock::time_point deadline)
{
    pollfd watched{fd, POLLIN, 0};
    return poll(&watched, 1, RemainingMs(deadline)) > 0;
}

// The next line from fd, bytes after it kept in buffer; false when none came within the ceiling.
bool ReadLine(int fd, std::string& buffer, std::string& line)
{
    const auto deadline = Clock::now() + kCeiling;
    for (;;) {
        const auto end = buffer.find('\n');
        if (end != std::string::npos) {
            line = buffer.substr(0, end);
            buffer.erase(0, end + 1);
            return true;
        }
        char chunk[512];
        if (!WaitReadable(fd, deadline)) return false;
        const ssize_t length = read(fd, chunk, sizeof chunk);
        if (length <= 0) return false;
        buffer.append(chunk, static_cast<std::size_t>(length));
    }
}

}

Bytes Hex(const std::string& text)
{
    std::istringstream stream(text);
    Bytes bytes;
    for (std::string pair; stream >> pair;) bytes.push_back(static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16)));
    return bytes;
}

std::string HexText(const Bytes& bytes)
{
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t byte : bytes) {
        if (!text.empty()) text += ' ';
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tarvik-sim-test.XXXXXX").string();
    Check(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
    root_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

SimProcess::SimProcess(const std::vector<std::string>& arguments, bool pipeInput)
{
    int outputPipe[2], errorPipe[2], inputPipe[2] = {-1, -1};
    Check(pipe2(outputPipe, O_CLOEXEC) == 0 && pipe2(errorPipe, O_CLOEXEC) == 0, "pipe");
    if (pipeInput) Check(pipe2(inputPipe, O_CLOEXEC) == 0, "pipe");

    std::vector<std::string> words{SimulatorPath()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    pid_ = fork();
    Check(pid_ >= 0, "fork");
    if (pid_ == 0) {
        const int input = pipeInput ? inputPipe[0] : open("/dev/null", O_RDONLY);
        dup2(input, STDIN_FILENO);
        dup2(outputPipe[1], STDOUT_FILENO);
        dup2(errorPipe[1], STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(outputPipe[1]);
    close(errorPipe[1]);
    output_ = outputPipe[0];
    errors_ = errorPipe[0];
    if (pipeInput) {
        close(inputPipe[0]);
        input_ = inputPipe[1];
    }
    linePath_ = ReadOutputLine();
}

SimProcess::~SimProcess()
{
    if (pid_ > 0) Stop(SIGKILL);
    for (int fd : {output_, input_, errors_}) {
        if (fd >= 0) close(fd);
    }
}

std::string SimProcess::ReadOutputLine()
{
    std::string line;
    ReadLine(output_, outputBuffer_, line);
    return line;
}

void SimProcess::WriteInput(const std::string& text)
{
    Check(write(input_, text.data(), text.size()) == static_cast<ssize_t>(text.size()), "write to the simulator");
}

int SimProcess::Stop(int signal)
{
    if (pid_ <= 0) return -1;
    kill(pid_, signal);
    return WaitExit();
}

int SimProcess::WaitExit()
{
    if (pid_ <= 0) return -1;
    int status = 0;
    const auto deadline = Clock::now() + kCeiling;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (Clock::now() > deadline) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
            break;
        }
        std::this_thread::sleep_for(milliseconds(2));
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string SimProcess::ErrorText()
{
    char chunk[512];
    pollfd watched{errors_, POLLIN, 0};
    while (poll(&watched, 1, 0) > 0) {
        const ssize_t length = read(errors_, chunk, sizeof chunk);
        if (length <= 0) break;
        errorText_.append(chunk, static_cast<std::size_t>(length));
    }
    return errorText_;
}

ControlClient::ControlClient(const std::string& socketPath)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    Check(fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0, "connect " + socketPath);
}

ControlClient::~ControlClient()
{
    close(fd_);
}

std::string ControlClient::Send(const std::string& command)
{
    const std::string line = command + "\n";
    Check(send(fd_, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size()), "send " + command);
    std::string reply;
    return ReadLine(fd_, buffer_, reply) ? reply : "(no reply)";
}

RawPort::RawPort(const std::string& path)
{
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    Check(fd_ >= 0, "open " + path);
    termios settings{};
    Check(tcgetattr(fd_, &settings) == 0, "tcgetattr");
    cfmakeraw(&settings);
    cfsetspeed(&settings, B9600);
    settings.c_cflag |= CLOCAL | CREAD;
    Check(tcsetattr(fd_, TCSANOW, &settings) == 0 && tcflush(fd_, TCIOFLUSH) == 0, "tcsetattr");
}

RawPort::~RawPort()
{
    close(fd_);
}

void RawPort::Write(const Bytes& bytes)
{
    Check(write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()), "write to the line");
    writtenAt = Clock::now();
}

Bytes RawPort::Read(std::size_t count, milliseconds ceiling)
{
    const auto deadline = Clock::now() + ceiling;
    Bytes bytes;
    arrivals.clear();
    while (bytes.size() < count && WaitReadable(fd_, deadline)) {
        std::uint8_t chunk[4096];
        const ssize_t length = read(fd_, chunk, std::min(sizeof chunk, count - bytes.size()));
        if (length <= 0) break;
        arrivals.insert(arrivals.end(), static_cast<std::size_t>(length), Clock::now());
        bytes.insert(bytes.end(), chunk, chunk + length);
    }
    return bytes;
}

Bytes RawPort::ReadFor(milliseconds window)
{
    return Read(SIZE_MAX, window);
}

bool RawPort::HungUp() const
{
    pollfd watched{fd_, POLLIN, 0};
    return poll(&watched, 1, 0) > 0 && (watched.revents & POLLHUP);
}

Bytes RawPort::ReadReply(milliseconds quiet)
{
    Bytes reply = Read(1);
    for (Bytes more; !reply.empty() && !(more = ReadFor(quiet)).empty();) reply.insert(reply.end(), more.begin(), more.end());
    return reply;
}

std::vector<LogLine> LogReader::Next(std::size_t count, milliseconds ceiling)
{
    static const std::regex kLine(R"((\d+\.\d{6}) (rx|tx)((?: [0-9A-F]{2})+))");
    const auto deadline = Clock::now() + ceiling;
    std::vector<LogLine> lines;
    for (;;) {
        std::ifstream file(path_);
        file.seekg(static_cast<std::streamoff>(consumed_));
        std::string text;
        while (lines.size() < count && std::getline(file, text) && !file.eof()) {
            consumed_ += text.size() + 1;
            std::smatch parts;
            if (!std::regex_match(text, parts, kLine)) throw std::runtime_error("log line out of format: " + text);
            lines.push_back({std::stod(parts[1]), parts[2], parts[3].str().substr(1)});
        }
        if (lines.size() >= count || Clock::now() >= deadline) return lines;
        std::this_thread::sleep_for(milliseconds(2));
    }
}

const char* SimulatorPath()
{
    return TARVIK_SIM_PATH;
}

}
