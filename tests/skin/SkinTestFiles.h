#pragma once
// Helpers for the skin tests: a throw-away skin directory, and where the
// repository's own skins are.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <unistd.h>

namespace pelko::skintest {

// A temporary directory (ending in "/") removed with its files at the end.
struct TempSkinDir {
    std::string dir;
    TempSkinDir()
    {
        char tmpl[] = "/tmp/pelko-skin-XXXXXX";
        dir = std::string(mkdtemp(tmpl)) + "/";
    }
    ~TempSkinDir()
    {
        if (std::system(("rm -rf '" + dir + "'").c_str()) != 0)
            std::perror(dir.c_str());
    }
    // Writes a file; "\n" in lines becomes CR LF as Pelko's files have.
    std::string write(const std::string& name, const std::string& text, bool crlf = true) const
    {
        std::string bytes;
        for (char c : text) {
            if (c == '\n' && crlf)
                bytes += '\r';
            bytes += c;
        }
        std::ofstream(dir + name, std::ios::binary) << bytes;
        return dir + name;
    }
};

// The repository root: from the test environment, else from this file's place.
inline std::string SourceDir()
{
    if (const char* env = std::getenv("PELKO_SOURCE_DIR"))
        return std::string(env) + "/";
    std::string here = __FILE__;
    return here.substr(0, here.rfind("/tests/skin/") + 1);
}

inline std::string SkinsDir() { return SourceDir() + "skins/"; }

} // namespace pelko::skintest
