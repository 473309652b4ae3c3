// Platform/Settings/Settings.h: the profile file "win.ini" that holds the regional settings.
//
// The file is `$VELORA_WIN_INI` when set, else `win.ini` in `$XDG_CONFIG_HOME/velora` (default
// `~/.config/velora`). It is read at every call, so a change takes effect at once; a missing file
// or key gives the fallback. Lines are "[section]" or "key=value"; section and key names are
// compared without regard to case; values are taken as bytes, without conversion.
#pragma once

#include <string>

std::string settingsString(const std::string& section, const std::string& key, const std::string& fallback);
