// Interfac/Booting.h: booting an application image.
#pragma once

#include <string>
#include <vector>

// Boots the home resource file (imagePath empty: the image appended to the executable, else the
// RI file beside it) or the image file given: installs SYMB 0, loads and evaluates Load 0, 1, 2,
// ... in order with standard output as the output stream. A missing image writes alert 5200's
// text on standard error and gives 255. Returns the exit status.
// The arguments: documents for Appl, --headless, and --replay FILE (the run then follows the
// replay's actions and ends with it; a replay that does not parse ends the run with status 2).
// After the units the frame's window system runs the top-level loop until the run quits.
int bootImage(const std::string& imagePath, const std::vector<std::string>& arguments);
