#include "ConfigTestDir.h"
#include "config/IniLookup.h"
#include "config/Scramble.h"
#include "config/SettingsFile.h"
#include "platform/FatalEnd.h"

#include <gtest/gtest.h>

using namespace pelko;
using pelko::testing::ScratchDir;

namespace {

struct Loaded {
    ScratchDir dir;
    Commun c;
    MainValues mv;
    explicit Loaded(const std::string& settings, const std::string& accounts = {})
    {
        c.ProgramDir = dir.path() + "/";
        if (!settings.empty())
            dir.write("Pelko.ini", settings);
        if (!accounts.empty())
            dir.write("Accounts.ini", accounts);
    }
    std::string load() // the fatal message, or "" when the loader returned
    {
        try {
            LoadSettingsAndAccounts(c, mv);
        } catch (const FatalEnd& e) {
            return e.what();
        }
        return "";
    }
};

std::string section(int n, const std::string& name, const std::string& password, bool inactive = false)
{
    return "\r\n[Account" + std::to_string(n) + "]\r\nacc_name = " + name + "\r\nhost_name = h" + name +
           "\r\nuser_name = u" + name + "\r\npassword = " + Scramble(password, kPasswordKey) +
           "\r\ninactive = " + (inactive ? "1" : "0") + "\r\n";
}

const std::string kSkin = "current_skin = /s/\r\n";

} // namespace

TEST(LoadSettings, DefaultsAndValueForms)
{
    Loaded l("current_skin=/skins/blue\r\n");
    l.mv.HasActiveAccount = true; // left over from an earlier load
    l.mv.CurAcc = 4;
    EXPECT_EQ(l.load(), "");
    const Settings& s = l.c.settings;
    EXPECT_EQ(s.SkinDir, "/skins/blue/");
    EXPECT_FALSE(s.autocheck || s.autoconnect || s.header_only || s.playsnd || s.icon_tray ||
                 s.run_my_client || s.notify || l.mv.OnTopSetting);
    EXPECT_EQ(s.minutes, 1);
    EXPECT_EQ(l.mv.PosX, 10);
    EXPECT_EQ(l.mv.PosY, 10);
    EXPECT_EQ(s.wavsnd, "none");
    EXPECT_EQ(s.my_mail_client, "none");
    EXPECT_EQ(l.c.AccCount, 0); // no Accounts.ini: no accounts, no message
    EXPECT_FALSE(l.mv.HasActiveAccount);
    EXPECT_EQ(l.mv.CurAcc, 1);

    Loaded v("current_skin = /skins/red/\r\nautocheck = 1\r\nautoconnect =true\r\nheader_only =01\r\n"
             "posX = -20\r\nposY = $20\r\nwavsnd = /snd/a b.wav  \r\n");
    EXPECT_EQ(v.load(), "");
    EXPECT_EQ(v.c.settings.SkinDir, "/skins/red/");
    EXPECT_TRUE(v.c.settings.autocheck);
    EXPECT_FALSE(v.c.settings.autoconnect || v.c.settings.header_only);
    EXPECT_EQ(v.mv.PosX, -20);
    EXPECT_EQ(v.mv.PosY, 32);
    EXPECT_EQ(v.c.settings.wavsnd, "/snd/a b.wav  ");
}

TEST(LoadSettings, NotifyLineIsReadByItsOwnKeyOnly)
{
    // A sound file named after the option does not hide it.
    Loaded on(kSkin + "wavsnd = /snd/notify.wav\r\nnotify =1\r\n");
    on.load();
    EXPECT_TRUE(on.c.settings.notify);
    EXPECT_EQ(on.c.settings.wavsnd, "/snd/notify.wav");
    // The extra line captures none of the other lookups.
    Loaded alone(kSkin + "notify =1\r\n");
    alone.load();
    const Settings& s = alone.c.settings;
    EXPECT_TRUE(s.notify);
    EXPECT_FALSE(s.autocheck || s.autoconnect || s.header_only || s.playsnd || s.icon_tray ||
                 s.run_my_client || alone.mv.OnTopSetting);
    EXPECT_EQ(s.wavsnd + s.my_mail_client, "nonenone");
    EXPECT_EQ(s.minutes + alone.mv.PosX + alone.mv.PosY, 21);
}

TEST(LoadSettings, FatalEndsAndBadNumbers)
{
    Loaded missingFile("");
    EXPECT_EQ(missingFile.load(), kSkinPathNotFound);
    EXPECT_TRUE(missingFile.dir.names().empty()); // nothing written

    Loaded noSkin("autocheck =1\r\n", section(1, "a", "p"));
    EXPECT_EQ(noSkin.load(), kPelkoIniNotFound);
    EXPECT_EQ(noSkin.c.AccCount, 0); // stopped before the accounts
    EXPECT_EQ(noSkin.dir.names(), (std::set<std::string>{"Pelko.ini", "Accounts.ini"}));
    EXPECT_EQ(noSkin.dir.read("Pelko.ini"), "autocheck =1\r\n");
    EXPECT_EQ(Loaded("current_skin = \r\n").load(), kPelkoIniNotFound);
    EXPECT_EQ(Loaded("current_skin =    \r\n").load(), kPelkoIniNotFound);

    // While a skin is previewed the skin directory is kept.
    Loaded preview("autocheck =1\r\n");
    preview.c.TestMode = "test";
    preview.c.settings.SkinDir = "/preview/";
    EXPECT_EQ(preview.load(), "");
    EXPECT_EQ(preview.c.settings.SkinDir, "/preview/");
    EXPECT_TRUE(preview.c.settings.autocheck);

    Loaded bad(kSkin + "autocheck =1\r\nminutes = 5x\r\nposX = 3\r\n");
    bad.mv.PosX = 77;
    EXPECT_THROW(bad.load(), ConversionError);
    EXPECT_TRUE(bad.c.settings.autocheck); // read before minutes
    EXPECT_EQ(bad.mv.PosX, 77);             // never reached
    EXPECT_THROW(Loaded(kSkin + "posY = 10 \r\n").load(), ConversionError);
}

TEST(LoadAccounts, GapsEmptyPasswordsAndFirstActive)
{
    // Sections 1, 2 and 4: reading stops at the missing 3.
    Loaded gap(kSkin, section(1, "one", "p1", true) + section(2, "two", "p2") + section(4, "four", "p4"));
    gap.load();
    ASSERT_EQ(gap.c.AccCount, 2);
    EXPECT_TRUE(gap.c.Accounts[1].inactive);
    EXPECT_EQ(gap.c.Accounts[2].password, "p2");
    EXPECT_TRUE(gap.c.Accounts[3].acc_name.empty());
    EXPECT_TRUE(gap.mv.HasActiveAccount);
    EXPECT_EQ(gap.mv.CurAcc, 2);
    EXPECT_EQ(gap.c.FirstActiveAcc, 2);
    const TPOPAcc& first = gap.c.Accounts[size_t(gap.mv.CurAcc)];
    EXPECT_EQ(first.host_name + " " + first.user_name + " " + first.password, "htwo utwo p2");

    // An empty password skips its account; the next one takes its place.
    Loaded skip(kSkin, section(1, "one", "") + section(2, "two", "p2", true) + section(3, "three", "p3", true));
    skip.load();
    ASSERT_EQ(skip.c.AccCount, 2);
    EXPECT_EQ(skip.c.Accounts[1].acc_name, "two");
    EXPECT_EQ(skip.c.Accounts[2].acc_name, "three");
    EXPECT_FALSE(skip.mv.HasActiveAccount); // all inactive
    EXPECT_EQ(skip.mv.CurAcc, 3);           // past the last
}

TEST(LoadAccounts, SubstringRuleCapturesAcrossLinesAndSections)
{
    // The name line comes first in its section and contains "password".
    Loaded cap(kSkin, section(1, "my password box", "secret1"));
    cap.load();
    ASSERT_EQ(cap.c.AccCount, 1);
    EXPECT_EQ(cap.c.Accounts[1].password, Unscramble("my password box", kPasswordKey));

    // No host_name line in section 1: the lookup runs on into section 2.
    Loaded missing(kSkin, "\r\n[Account1]\r\nacc_name = a\r\npassword = " + Scramble("pa", kPasswordKey) +
                              "\r\n" + section(2, "b", "pb"));
    missing.load();
    ASSERT_EQ(missing.c.AccCount, 2);
    EXPECT_EQ(missing.c.Accounts[1].host_name, "hb");
    EXPECT_EQ(missing.c.Accounts[1].password, "pa");
    EXPECT_FALSE(missing.c.Accounts[1].inactive); // takes section 2's "inactive = 0"
}

TEST(LoadSettings, EachFileIsReadOnceAndBounded)
{
    // Up to the bound a file loads (padding of empty lines); one byte more and it is
    // unreadable: the settings file ends the program, the account file holds no accounts.
    const std::string settings = kSkin + "minutes = 4\r\n";
    const std::string accounts = section(1, "a", "p");
    const std::string fill(kMaxIniBytes - settings.size(), '\n');
    Loaded atBound(settings + fill, accounts + std::string(kMaxIniBytes - accounts.size(), '\n'));
    EXPECT_EQ(atBound.load(), "");
    EXPECT_EQ(atBound.c.settings.minutes, 4);
    EXPECT_EQ(atBound.c.AccCount, 1);

    Loaded bigSettings(settings + fill + "\n", accounts);
    EXPECT_EQ(bigSettings.load(), kSkinPathNotFound);
    Loaded bigAccounts(settings, accounts + std::string(kMaxIniBytes, '\n'));
    EXPECT_EQ(bigAccounts.load(), "");
    EXPECT_EQ(bigAccounts.c.AccCount, 0);
    EXPECT_EQ(bigAccounts.c.settings.minutes, 4);
    EXPECT_EQ(bigAccounts.dir.read("Accounts.ini").size(), accounts.size() + kMaxIniBytes); // left as it was

    // One read per load: a file that changes while it is being read cannot mix two versions.
    const IniFile once(atBound.dir.file("Pelko.ini"), IfUnreadable::Fatal);
    atBound.dir.write("Pelko.ini", "current_skin = /other/\r\n");
    EXPECT_EQ(once.find("", "current_skin"), "/s/");
    EXPECT_EQ(once.find("", "minutes"), "4");
}
