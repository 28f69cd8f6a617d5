#include "config/Autostart.h"

#include "config/SafeFile.h"

#include <cctype>
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
    MakePrivateDirs(dir);
    WriteFileAtomically(file, AutostartEntry(exePath), 0644);
}

} // namespace pelko
