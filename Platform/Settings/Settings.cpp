// Platform/Settings/Settings.cpp: reading a value from the profile file.
#include "Platform/Settings/Settings.h"

#include <cstdlib>
#include <fstream>
#include <strings.h>

namespace {

std::string profilePath()
{
    if (const char* path = std::getenv("VELORA_WIN_INI"); path && *path)
        return path;
    std::string folder;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config)
        folder = config;
    else if (const char* home = std::getenv("HOME"); home && *home)
        folder = std::string(home) + "/.config";
    else
        return {};
    return folder + "/velora/win.ini";
}

std::string trimmed(const std::string& s)
{
    size_t first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    size_t last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

} // namespace

std::string settingsString(const std::string& section, const std::string& key, const std::string& fallback)
{
    std::string path = profilePath();
    if (path.empty())
        return fallback;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return fallback;
    bool inSection = false;
    std::string line;
    while (std::getline(in, line)) {
        line = trimmed(line);
        if (line.empty() || line[0] == ';')
            continue;
        if (line.front() == '[') {
            size_t close = line.find(']');
            inSection = close != std::string::npos
                && strcasecmp(trimmed(line.substr(1, close - 1)).c_str(), section.c_str()) == 0;
            continue;
        }
        size_t equals = line.find('=');
        if (!inSection || equals == std::string::npos)
            continue;
        if (strcasecmp(trimmed(line.substr(0, equals)).c_str(), key.c_str()) == 0)
            return trimmed(line.substr(equals + 1));
    }
    return fallback;
}
