// Platform/Windows/Instance.cpp: the second-instance channel over a Unix-domain socket.
#include "Platform/Windows/WindowManager.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr size_t kCommandLimit = 519;

bool makeAddress(const std::string& path, sockaddr_un& address, std::string& error)
{
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        error = "socket path too long: " + path;
        return false;
    }
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    return true;
}

} // namespace

InstanceChannel::~InstanceChannel()
{
    if (m_fd >= 0) {
        close(m_fd);
        unlink(m_path.c_str());
    }
}

std::string InstanceChannel::defaultFolder()
{
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return runtime;
    std::string folder = "/tmp/velora-" + std::to_string(getuid());
    mkdir(folder.c_str(), 0700);
    return folder;
}

std::string InstanceChannel::socketPath(const std::string& folder, const std::string& title)
{
    std::string name;
    for (unsigned char c : title)
        name += std::isalnum(c) || c == '-' || c == '.' ? char(c) : '_';
    if (name.empty())
        name = "_";
    return folder + "/velora-" + name.substr(0, 60) + ".sock";
}

bool InstanceChannel::listen(const std::string& path, std::string& error)
{
    error.clear();
    sockaddr_un address;
    if (!makeAddress(path, address, error))
        return false;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EADDRINUSE) {
            error = "cannot listen at " + path + ": " + std::strerror(errno);
            close(fd);
            return false;
        }
        // Someone listens there, or a copy died and left its socket.
        int probe = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        bool alive = probe >= 0 && connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (probe >= 0)
            close(probe);
        if (alive) {
            close(fd);
            return false;
        }
        unlink(path.c_str());
        if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            error = "cannot listen at " + path + ": " + std::strerror(errno);
            close(fd);
            return false;
        }
    }
    if (::listen(fd, 8) != 0 || fcntl(fd, F_SETFL, O_NONBLOCK) != 0) {
        error = std::strerror(errno);
        close(fd);
        unlink(path.c_str());
        return false;
    }
    m_fd = fd;
    m_path = path;
    return true;
}

std::vector<std::string> InstanceChannel::receive()
{
    std::vector<std::string> commands;
    if (m_fd < 0)
        return commands;
    for (;;) {
        int client = accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            break;
        // A sender writes its command at once; one that stalls is cut off.
        timeval limit { 0, 200000 };
        setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        std::string command;
        char buffer[256];
        for (;;) {
            ssize_t n = read(client, buffer, sizeof buffer);
            if (n <= 0)
                break;
            command.append(buffer, size_t(n));
            if (command.size() > kCommandLimit)
                break;
        }
        close(client);
        if (command.size() > kCommandLimit)
            command.resize(kCommandLimit);
        if (!command.empty())
            commands.push_back(std::move(command));
    }
    return commands;
}

bool InstanceChannel::send(const std::string& path, const std::string& command, std::string& error)
{
    sockaddr_un address;
    if (!makeAddress(path, address, error))
        return false;
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        error = "no copy listens at " + path;
        close(fd);
        return false;
    }
    size_t done = 0;
    while (done < command.size()) {
        ssize_t n = ::send(fd, command.data() + done, command.size() - done, MSG_NOSIGNAL);
        if (n <= 0) {
            error = std::strerror(errno);
            close(fd);
            return false;
        }
        done += size_t(n);
    }
    close(fd);
    return true;
}

std::string InstanceChannel::command(const std::string& verb, const std::string& path)
{
    return "[" + verb + "(\"" + path + "\")]";
}

// "[open(" or "[print(" then a quoted path up to the next double quote.
bool InstanceChannel::parseCommand(const std::string& command, std::string& verb, std::string& path)
{
    for (const char* v : { "open", "print" }) {
        std::string head = std::string("[") + v + "(\"";
        if (command.compare(0, head.size(), head) != 0)
            continue;
        size_t end = command.find('"', head.size());
        if (end == std::string::npos)
            return false;
        verb = v;
        path = command.substr(head.size(), end - head.size());
        return true;
    }
    return false;
}
