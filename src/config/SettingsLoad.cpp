#include "config/AccountSections.h"
#include "config/FileLocations.h"
#include "config/IniLookup.h"
#include "config/SettingsFile.h"
#include "platform/FatalEnd.h"

#include <vector>

namespace pelko {

namespace {

// The notify line is ours alone, so it is read by its exact key: under the
// substring rule a sound file such as ".../notify.wav" on an earlier line
// would capture the lookup and switch the option off.
bool readNotify(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines) {
        if (line.empty() || line[0] == ';')
            continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const size_t b = line.find_first_not_of(" \t");
        const size_t e = line.find_last_not_of(" \t", eq - 1);
        if (b < eq && e != std::string::npos && EqualsIgnoreCase(line.substr(b, e - b + 1), "notify"))
            return LTrimSpaces(line.substr(eq + 1)) == "1";
    }
    return false;
}

} // namespace

void LoadSettingsAndAccounts(Commun& c, MainValues& mv)
{
    mv.OnTopSetting = false;
    mv.HasActiveAccount = false;
    mv.CurAcc = 1;

    // Each file is read once; every value is looked up in that copy.
    const IniFile ini(c.settingsFile(), IfUnreadable::Fatal);
    auto setting = [&ini](const char* key) { return ini.find("", key); };
    auto flag = [&setting](const char* key) { return setting(key) == "1"; };

    if (c.TestMode != "test") {
        std::string dir = setting("current_skin");
        // An empty value would name no skin at all: treat it as a missing line.
        if (dir == kNone || dir.empty())
            throw FatalEnd(kPelkoIniNotFound);
        if (dir.back() != '/')
            dir += '/';
        c.settings.SkinDir = ResolveSkinDir(dir, InstalledSkinsDir());
    }

    c.AccCount = 0;
    for (TPOPAcc& acc : c.Accounts) {
        acc.acc_name.clear();
        acc.host_name.clear();
        acc.user_name.clear();
        acc.password.clear();
    }
    const IniFile accounts(c.accountsFile(), IfUnreadable::Empty);
    c.AccCount = ReadAccountSections(
        [&accounts](const std::string& section, const std::string& key) { return accounts.find(section, key); },
        c.Accounts);

    int i = 1;
    for (; i <= c.AccCount && !mv.HasActiveAccount; ++i) {
        const TPOPAcc& acc = c.Accounts[size_t(i)];
        if (acc.acc_name.empty() || acc.inactive)
            continue;
        c.FirstActiveAcc = int16_t(i);
        mv.HasActiveAccount = true;
        mv.CurAcc = i;
    }
    if (!mv.HasActiveAccount)
        mv.CurAcc = i; // one past the last account

    Settings& s = c.settings;
    s.autocheck = flag("autocheck");
    s.playsnd = flag("playsnd");
    s.wavsnd = setting("wavsnd");
    s.autoconnect = flag("autoconnect");
    s.header_only = flag("header_only");
    mv.OnTopSetting = flag("ontop");
    s.icon_tray = flag("icon_tray");
    s.run_my_client = flag("run_my_client");
    s.my_mail_client = setting("my_mail_client");
    const std::string minutes = setting("minutes");
    s.minutes = minutes == kNone ? 1 : StrToInt(minutes);
    const std::string posx = setting("posx");
    mv.PosX = posx == kNone ? 10 : StrToInt(posx);
    const std::string posy = setting("posy");
    mv.PosY = posy == kNone ? 10 : StrToInt(posy);
    s.notify = readNotify(ini.lines());
}

} // namespace pelko
