#pragma once
// Starting Pelko with the desktop session: the XDG autostart entry
// $XDG_CONFIG_HOME/autostart/pelko.desktop (~/.config/autostart/...).
#include "config/FileLocations.h"

#include <string>

namespace pelko {

// Where the entry lives.
std::string AutostartFile(const EnvLookup& env);

// The entry's text for the program at exePath (an absolute path; quoted in
// Exec= as desktop entries require when it holds a blank or a special
// character).
std::string AutostartEntry(const std::string& exePath);

// Writes the entry (creating the autostart folder) or removes it. Throws
// FileWriteError when that fails, or when exePath is not UTF-8 (an entry
// cannot name it); removing a missing entry is no failure.
void SetAutostart(const std::string& file, bool on, const std::string& exePath);

} // namespace pelko
