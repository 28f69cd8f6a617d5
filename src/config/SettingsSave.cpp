#include "config/SettingsFile.h"

#include "config/IniLookup.h"

#include <algorithm>

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

Settings ShownSettings(const Settings& s)
{
    Settings shown = s;
    shown.minutes = std::clamp<int32_t>(static_cast<int16_t>(s.minutes), kMinMinutes, kMaxMinutes);
    for (std::string* text : {&shown.wavsnd, &shown.my_mail_client})
        if (*text == kNone)
            text->clear();
    return shown;
}

SettingsLines SettingsLinesFor(const Settings& s, bool ontop, int32_t posX, int32_t posY)
{
    SettingsLines l;
    l.current_skin = s.SkinDir;
    l.autocheck = s.autocheck;
    l.autoconnect = s.autoconnect;
    l.header_only = s.header_only;
    l.ontop = ontop;
    l.minutes = s.minutes;
    l.posX = posX;
    l.posY = posY;
    l.playsnd = s.playsnd;
    l.wavsnd = s.wavsnd;
    l.icon_tray = s.icon_tray;
    l.run_my_client = s.run_my_client;
    l.my_mail_client = s.my_mail_client;
    l.notify = s.notify;
    return l;
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
