#include "ConfigTestDir.h"
#include "config/IniLookup.h"
#include "config/Scramble.h"
#include "config/SettingsFile.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace pelko;
using pelko::testing::ScratchDir;

namespace {

TPOPAcc account(const std::string& name, const std::string& host, const std::string& user,
                const std::string& password, bool inactive = false)
{
    return TPOPAcc{name, host, user, password, inactive};
}

Commun loadFrom(const ScratchDir& dir, MainValues* values = nullptr)
{
    Commun c;
    c.ProgramDir = dir.path() + "/";
    MainValues mv;
    LoadSettingsAndAccounts(c, mv);
    if (values)
        *values = mv;
    return c;
}

std::string refusal(const std::function<void()>& write)
{
    try {
        write();
    } catch (const FileWriteError& e) {
        return e.what();
    }
    return "(written)";
}

} // namespace

TEST(SaveSettings, ExactLinesAndRoundTrip)
{
    SettingsLines s;
    s.current_skin = "/home/u/skins/blue/";
    s.autocheck = s.ontop = s.playsnd = s.run_my_client = s.notify = true;
    s.minutes = 5;
    s.posX = -20;
    s.posY = 300;
    s.wavsnd = "/snd/new mail.wav";
    s.my_mail_client = "thunderbird -mail";
    const std::string text = "current_skin = /home/u/skins/blue/\r\nautocheck =1\r\nautoconnect =0\r\n"
                             "header_only =0\r\nontop =1\r\nminutes = 5\r\nposX = -20\r\nposY = 300\r\n"
                             "playsnd =1\r\nwavsnd = /snd/new mail.wav\r\nicon_tray =0\r\n"
                             "run_my_client =1\r\nmy_mail_client = thunderbird -mail\r\nnotify =1\r\n";
    EXPECT_EQ(SettingsFileText(s), text);

    ScratchDir dir;
    const mode_t oldMask = umask(022);
    SaveSettingsFile(dir.file("Pelko.ini"), s);
    umask(oldMask);
    EXPECT_EQ(dir.mode("Pelko.ini"), 0644u);
    // Reading the file and writing what was read gives the same bytes.
    auto rewritten = [&dir] {
        MainValues mv;
        const Settings r = loadFrom(dir, &mv).settings;
        SettingsLines back{r.SkinDir, r.autocheck, r.autoconnect, r.header_only, mv.OnTopSetting, r.minutes,
                           mv.PosX, mv.PosY, r.playsnd, r.wavsnd, r.icon_tray, r.run_my_client,
                           r.my_mail_client, r.notify};
        return SettingsFileText(back);
    };
    EXPECT_EQ(rewritten(), text);
    s = SettingsLines{};
    s.current_skin = "/s/";
    s.autoconnect = s.header_only = s.icon_tray = true;
    SaveSettingsFile(dir.file("Pelko.ini"), s);
    EXPECT_EQ(rewritten(), SettingsFileText(s)); // empty texts stay empty, not "none"
}

TEST(SaveSettings, RefusesValuesThatWouldCutTheFile)
{
    ScratchDir dir;
    dir.write("Pelko.ini", "current_skin = /old/\r\n");
    SettingsLines s;
    s.current_skin = "/s/";
    s.wavsnd = "/snd/a\rb.wav";
    EXPECT_EQ(refusal([&] { SaveSettingsFile(dir.file("Pelko.ini"), s); }),
              "Cannot write " + dir.file("Pelko.ini") +
                  ": the sound file name contains a carriage return or end-of-file character.");
    s.wavsnd.clear();
    s.my_mail_client = "mua\x1a";
    EXPECT_THROW(SaveSettingsFile(dir.file("Pelko.ini"), s), FileWriteError);
    EXPECT_EQ(dir.read("Pelko.ini"), "current_skin = /old/\r\n");
    // A lone line feed stays inside its line and reads back as written.
    s.my_mail_client = "mua\n--x";
    SaveSettingsFile(dir.file("Pelko.ini"), s);
    EXPECT_EQ(loadFrom(dir).settings.my_mail_client, "mua\n--x");
}

TEST(SaveAccounts, FourteenLinesAndRoundTrip)
{
    Commun c;
    c.AccCount = 2;
    c.Accounts[1] = account("Home", "pop.home.example", "me", "abc");
    c.Accounts[2] = account("Work", "10.0.0.2", "jo", "ab", true);
    const std::string text = "\r\n[Account1]\r\nacc_name = Home\r\nhost_name = pop.home.example\r\n"
                             "user_name = me\r\npassword = \x47\x35\xEB\r\ninactive = 0\r\n"
                             "\r\n[Account2]\r\nacc_name = Work\r\nhost_name = 10.0.0.2\r\n"
                             "user_name = jo\r\npassword = \x47\x35\r\ninactive = 1\r\n";
    EXPECT_EQ(AccountsFileText(c), text);

    ScratchDir dir;
    dir.write("Pelko.ini", "current_skin = /s/\r\n");
    SaveAccountsFile(dir.file("Accounts.ini"), c);
    EXPECT_EQ(dir.read("Accounts.ini"), text);
    EXPECT_EQ(dir.mode("Accounts.ini"), 0600u);
    const Commun back = loadFrom(dir);
    EXPECT_EQ(back.AccCount, 2);
    EXPECT_EQ(back.Accounts[2].password, "ab");
    EXPECT_EQ(AccountsFileText(back), text); // every field, inactive included

    // Scrambled passwords are no secret from others: a file opened to them (by
    // hand, by a copy) is private again after every rewrite; no accounts give an empty file.
    chmod(dir.file("Accounts.ini").c_str(), 0644);
    c.AccCount = 0;
    SaveAccountsFile(dir.file("Accounts.ini"), c);
    EXPECT_EQ(dir.read("Accounts.ini"), "");
    EXPECT_EQ(dir.mode("Accounts.ini"), 0600u);
}

TEST(SaveAccounts, StorablePasswordsReadBackUnchanged)
{
    std::string why;
    std::string longest;
    while (longest.size() < 255)
        longest += "xyz123";
    longest.resize(255);
    EXPECT_TRUE(PasswordStorable(longest, &why)) << why;
    EXPECT_FALSE(PasswordStorable(longest + "x", &why));
    EXPECT_EQ(why, "The password is too long: at most 255 characters can be stored.");
    // Scrambled: 55 09 6B 0D.. (a carriage return), 41 1A (byte 26), 20.. (a
    // blank first), and one made to scramble into a line that captures "inactive".
    for (const std::string& bad : {std::string("secret"), std::string("gh"), std::string("\x06x"),
                                   Unscramble("zzINACTIVE", kPasswordKey)}) {
        EXPECT_FALSE(PasswordStorable(bad, &why)) << bad;
        EXPECT_EQ(why, "This password cannot be stored in Accounts.ini. Please choose another password.");
    }

    // Every storable password survives the file; the writer refuses the others.
    ScratchDir dir;
    dir.write("Pelko.ini", "current_skin = /s/\r\n");
    std::mt19937 rng(99);
    int stored = 0, refused = 0;
    for (int round = 0; round < 400; ++round) {
        std::string p = longest;
        if (round > 0) {
            p.assign(1 + rng() % 40, '\0');
            for (char& ch : p)
                ch = char(32 + rng() % 95);
        }
        Commun c;
        c.AccCount = 1;
        c.Accounts[1] = account("n", "h", "u", p);
        if (PasswordStorable(p, nullptr)) {
            SaveAccountsFile(dir.file("Accounts.ini"), c);
            ASSERT_EQ(loadFrom(dir).Accounts[1].password, p);
            ++stored;
        } else {
            EXPECT_THROW(SaveAccountsFile(dir.file("Accounts.ini"), c), FileWriteError) << p;
            ++refused;
        }
    }
    EXPECT_GT(stored, 300);
    EXPECT_GT(refused, 0);
}

TEST(SaveAccounts, RefusesAccountsThatWouldReadBackDifferently)
{
    const TPOPAcc good = account("Home", "pop.example", "me", "abc");
    std::string why;
    EXPECT_TRUE(AccountStorable(good, &why));
    EXPECT_TRUE(AccountStorable(account("acc_name", "host_name", "u", "abc"), nullptr)); // earlier keys are fine
    const std::pair<TPOPAcc, std::string> cases[] = {
        {account("Ho\rme", "h", "u", "abc"), "The account name contains a carriage return or end-of-file character."},
        {account(" Home", "h", "u", "abc"), "The account name cannot begin with a blank."},
        {account("My Password box", "h", "u", "abc"), "The account name cannot contain the text \"password\"."},
        {account("Home", "h", "INACTIVE", "abc"), "The user name cannot contain the text \"inactive\"."},
        {account("none", "h", "u", "abc"), "The account name cannot be \"none\"."},
        {account("Home", "h", "u", "secret"),
         "This password cannot be stored in Accounts.ini. Please choose another password."},
    };
    for (const auto& [acc, reason] : cases) {
        EXPECT_FALSE(AccountStorable(acc, &why)) << acc.acc_name;
        EXPECT_EQ(why, reason);
    }

    // The writer refuses and leaves the old file (or its absence) as it was.
    ScratchDir dir;
    Commun c;
    c.AccCount = 2;
    c.Accounts[1] = good;
    c.Accounts[2] = account("My password box", "h", "u", "abc");
    EXPECT_EQ(refusal([&] { SaveAccountsFile(dir.file("Accounts.ini"), c); }),
              "Cannot write " + dir.file("Accounts.ini") +
                  ": account 2 (\"My password box\"): The account name cannot contain the text \"password\".");
    EXPECT_TRUE(dir.names().empty());
    dir.write("Accounts.ini", "old");
    c.Accounts[2] = account("Work", "h", "u", std::string(256, 'y'));
    EXPECT_THROW(SaveAccountsFile(dir.file("Accounts.ini"), c), FileWriteError);
    c.AccCount = 11;
    EXPECT_THROW(SaveAccountsFile(dir.file("Accounts.ini"), c), FileWriteError);
    EXPECT_EQ(dir.read("Accounts.ini"), "old");
    // A file too big to be read was loaded as no accounts: it is not written over.
    const std::string big(kMaxIniBytes + 1, ';');
    dir.write("Accounts.ini", big);
    c.AccCount = 1;
    EXPECT_THROW(SaveAccountsFile(dir.file("Accounts.ini"), c), FileWriteError);
    EXPECT_EQ(dir.read("Accounts.ini"), big);
}
