#include "config/Autostart.h"

#include "config/SafeFile.h"

#include <cctype>
#include <cstdint>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace pelko {

namespace {

// One Exec= argument: bare when it holds only plain characters, else in
// double quotes with ", `, $ and \ escaped; "%" is doubled either way (a
// field code otherwise). The entry's own string escaping then doubles "\"
// and writes line breaks and tabs as escapes.
std::string execArgument(const std::string& path)
{
    bool plain = !path.empty();
    for (unsigned char ch : path)
        plain = plain && (std::isalnum(ch) || std::strchr("/._+-,:@", ch));
    std::string arg;
    if (!plain)
        arg += '"';
    for (char ch : path) {
        if (ch == '%')
            arg += "%%";
        else if (!plain && std::strchr("\"`$\\", ch))
            arg += std::string("\\") + ch;
        else
            arg += ch;
    }
    if (!plain)
        arg += '"';
    std::string escaped;
    for (char ch : arg) {
        switch (ch) {
        case '\\': escaped += "\\\\"; break;
        case '\n': escaped += "\\n"; break;
        case '\t': escaped += "\\t"; break;
        case '\r': escaped += "\\r"; break;
        default: escaped += ch;
        }
    }
    return escaped;
}

// Well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF).
bool validUtf8(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (len == 0 || i + len > text.size())
            return false;
        uint32_t cp = len == 1 ? c : c & (0x7F >> len);
        for (size_t k = 1; k < len; ++k) {
            const unsigned char cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (cc & 0x3F);
        }
        static const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += len;
    }
    return true;
}

} // namespace

std::string AutostartFile(const EnvLookup& env)
{
    return UserConfigHome(env) + "/autostart/pelko.desktop";
}

std::string AutostartEntry(const std::string& exePath)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Pelko\n"
           "Comment=Check your POP3 mailboxes and show the count on the desktop\n"
           "Exec=" + execArgument(exePath) + "\n"
           "Icon=pelko\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

void SetAutostart(const std::string& file, bool on, const std::string& exePath)
{
    const std::string dir = file.substr(0, file.rfind('/'));
    if (!on) {
        if (::unlink(file.c_str()) != 0 && errno != ENOENT)
            throw FileWriteError("Cannot remove " + file + ": " + std::strerror(errno));
        return;
    }
    // A desktop entry is UTF-8 text; the desktop rejects one with other bytes.
    if (!validUtf8(exePath))
        throw FileWriteError("Cannot write " + file + ": the program's path is not UTF-8 text, which a desktop "
                             "entry needs");
    MakePrivateDirs(dir);
    WriteFileAtomically(file, AutostartEntry(exePath), 0644);
}

} // namespace pelko
