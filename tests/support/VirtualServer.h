// tests/support/VirtualServer.h: starts Xvfb on a free display number for a test or a
// benchmark, and stops it at the end.
#pragma once

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

class VirtualServer {
public:
    bool start(std::string& whyNot)
    {
        if (access("/usr/bin/Xvfb", X_OK) != 0) {
            whyNot = "Xvfb is not installed (scripts/deps.sh installs it)";
            return false;
        }
        for (int n = 90 + getpid() % 100; n < 300; ++n) {
            std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
            std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
            if (access(lock.c_str(), F_OK) == 0 || access(socket.c_str(), F_OK) == 0)
                continue;
            m_name = ":" + std::to_string(n);
            const char* argv[] = { "Xvfb", m_name.c_str(), "-screen", "0", "640x480x24", "-nolisten", "tcp", "-noreset", nullptr };
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
            int rc = posix_spawn(&m_pid, "/usr/bin/Xvfb", &actions, nullptr, const_cast<char**>(argv), environ);
            posix_spawn_file_actions_destroy(&actions);
            if (rc != 0) {
                whyNot = "cannot start Xvfb";
                return false;
            }
            for (int i = 0; i < 100; ++i) {
                struct stat st;
                if (stat(socket.c_str(), &st) == 0 && accepts(socket))
                    return true;
                int status;
                if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                    m_pid = 0;
                    break; // that number was taken after all: try the next
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            if (m_pid) {
                whyNot = "Xvfb did not come up in 5 seconds";
                return false;
            }
        }
        whyNot = "no free display number for Xvfb";
        return false;
    }
    // The socket file appears before the server listens on it.
    static bool accepts(const std::string& path)
    {
        int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        bool ok = fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (fd >= 0)
            close(fd);
        return ok;
    }

    const std::string& name() const { return m_name; }
    ~VirtualServer()
    {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }

private:
    pid_t m_pid = 0;
    std::string m_name;
};

