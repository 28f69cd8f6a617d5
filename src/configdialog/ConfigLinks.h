#pragma once
// What the links of the Credits page point at: only what is there on this
// computer (the documentation and the skins Pelko came with).
#include <string>

namespace pelko {

// The manual pages, as a desktop help browser takes them.
inline const char* const kManualPage = "man:Pelko(1)";
inline const char* const kCheckerManualPage = "man:pelko-check(1)";

// The installed README.md of this copy; empty when it is not installed.
std::string ReadmeFile();

// The folder of the installed skins; for a copy that is not installed, the
// folder holding skinDir (the skin in use). Empty when neither is known.
std::string SkinsFolder(const std::string& skinDir);

} // namespace pelko
