// The demo's first-run files are written by a shell script: they must be
// byte for byte what the program itself writes and reads back.
#include "MainWindowFixture.h"
#include "config/IniLookup.h"

#include <cstdio>
#include <regex>

namespace pelko::mainwin_test {

namespace {

std::string runScript(const std::string& args)
{
    const std::string cmd = sourceDir() + "/tools/demo/demo-mailbox.sh " + args;
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[512];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        pclose(p);
    }
    return out;
}

// DEMO_PASSWORD='...' as written in the script.
std::string scriptValue(const std::string& name)
{
    const std::string text = fileBytes(sourceDir() + "/tools/demo/demo-mailbox.sh");
    std::smatch m;
    const std::regex re("\n" + name + "='([^']*)'");
    return std::regex_search(text, m, re) ? m[1].str() : "";
}

class DemoFiles : public MainWindowTest {};

} // namespace

TEST_F(DemoFiles, SettingsAndAccountsAreThoseTheProgramWrites)
{
    const std::string skin = defaultSkin();
    SettingsLines l;
    l.current_skin = skin;
    l.autocheck = true;
    l.autoconnect = true;
    l.minutes = 1;
    l.posX = 40;
    l.posY = 40;
    l.icon_tray = true;
    l.notify = true;
    EXPECT_EQ(runScript("settings " + skin), SettingsFileText(l));

    const std::string password = scriptValue("DEMO_PASSWORD");
    ASSERT_FALSE(password.empty());
    Commun table;
    table.AccCount = 1;
    table.Accounts[1] = {"Demo", "127.0.0.1:34567", "demo", password, false};
    const std::string accounts = runScript("accounts 34567");
    EXPECT_EQ(accounts, AccountsFileText(table)) << "the scrambled password bytes differ";

    // And the program reads them back as meant.
    putFile(pelkoIni(), runScript("settings " + skin));
    putFile(accountsIni(), accounts);
    MainValues mv;
    c.ProgramDir = dir();
    LoadSettingsAndAccounts(c, mv);
    ASSERT_EQ(c.AccCount, 1);
    EXPECT_EQ(c.Accounts[1].password, password);
    EXPECT_EQ(c.Accounts[size_t(mv.CurAcc)].host_name, "127.0.0.1:34567");
    EXPECT_TRUE(c.settings.autoconnect);
    EXPECT_TRUE(c.settings.autocheck);
    EXPECT_EQ(c.settings.SkinDir, skin);
}

} // namespace pelko::mainwin_test
