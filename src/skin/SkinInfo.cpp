#include "skin/SkinInfo.h"

#include "config/IniLookup.h"

#include <stdexcept>

namespace pelko {

std::string DirectoryPart(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

namespace {

// The text after the first "=", leading blanks removed (the whole line when
// it has none), as the line lookup takes values.
std::string valueOf(const std::string& line)
{
    const size_t eq = line.find('=');
    return LTrimSpaces(eq == std::string::npos ? line : line.substr(eq + 1));
}

} // namespace

SkinInfo ReadSkinInfo(const std::string& skinIniPath)
{
    // A directory, or a file far beyond any skin's, is no skin file.
    std::string bytes;
    if (!ReadIniBytes(skinIniPath, bytes))
        throw std::runtime_error("Cannot read skin file " + skinIniPath);

    SkinInfo info;
    info.dir = DirectoryPart(skinIniPath);
    // Every line counts, in any section, comments included; one line may
    // fill several fields and a later line overwrites an earlier one.
    for (const std::string& line : SplitIniLines(bytes)) {
        const std::string lower = LowerAscii(line);
        if (lower.find("skin_name") != std::string::npos)
            info.name = valueOf(line);
        if (lower.find("skin_author") != std::string::npos)
            info.author = valueOf(line);
        if (lower.find("skin_mail") != std::string::npos)
            info.mail = valueOf(line);
        if (lower.find("skin_web") != std::string::npos)
            info.web = valueOf(line);
        if (lower.find("skin_info") != std::string::npos)
            info.info = valueOf(line);
    }
    return info;
}

} // namespace pelko
