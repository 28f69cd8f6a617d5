#include "config/SettingsFile.h"

namespace pelko {

namespace {

const char* bit(bool b) { return b ? "1" : "0"; }

// A carriage return would split the line and byte 26 would end the file there.
bool breaksLine(const std::string& value)
{
    return value.find_first_of("\r\x1a") != std::string::npos;
}

} // namespace

std::string SettingsFileText(const SettingsLines& s)
{
    std::string t;
    auto line = [&t](const std::string& text) { t += text + "\r\n"; };
    line("current_skin = " + s.current_skin);
    line(std::string("autocheck =") + bit(s.autocheck));
    line(std::string("autoconnect =") + bit(s.autoconnect));
    line(std::string("header_only =") + bit(s.header_only));
    line(std::string("ontop =") + bit(s.ontop));
    line("minutes = " + std::to_string(s.minutes));
    line("posX = " + std::to_string(s.posX));
    line("posY = " + std::to_string(s.posY));
    line(std::string("playsnd =") + bit(s.playsnd));
    line("wavsnd = " + s.wavsnd);
    line(std::string("icon_tray =") + bit(s.icon_tray));
    line(std::string("run_my_client =") + bit(s.run_my_client));
    line("my_mail_client = " + s.my_mail_client);
    line(std::string("notify =") + bit(s.notify));
    return t;
}

void SaveSettingsFile(const std::string& path, const SettingsLines& s)
{
    const struct {
        const std::string& value;
        const char* what;
    } texts[] = {{s.current_skin, "skin directory"},
                 {s.wavsnd, "sound file name"},
                 {s.my_mail_client, "mail client command"}};
    for (const auto& t : texts)
        if (breaksLine(t.value))
            throw FileWriteError("Cannot write " + path + ": the " + t.what +
                                 " contains a carriage return or end-of-file character.");
    WriteFileAtomically(path, SettingsFileText(s), 0666);
}

} // namespace pelko
