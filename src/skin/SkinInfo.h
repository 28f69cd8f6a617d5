#pragma once
// The descriptive keys of a skin (name, author, mail, web page, comment),
// read by the configuration dialog with a scan of its own: every line of
// the file, any section, comments included; the last matching line wins.
#include <string>

namespace pelko {

struct SkinInfo {
    std::string dir; // directory of the skin.ini, with its trailing "/"
    std::string name, author, mail, web, info;
};

// Directory part of a path, trailing "/" kept ("" when there is none).
std::string DirectoryPart(const std::string& path);

// Throws std::runtime_error when the file cannot be read.
SkinInfo ReadSkinInfo(const std::string& skinIniPath);

} // namespace pelko
