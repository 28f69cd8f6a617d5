#pragma once
// A program directory in a temporary folder (Pelko.ini, Accounts.ini) naming
// the project's skins, the shared values loaded from it as at start-up, a
// fake platform and a fake main window that rebuilds itself from the files
// and records what it saw.
#include "FakePlatform.h"
#include "config/SettingsFile.h"
#include "configdialog/ConfigDialog.h"
#include "skin/SkinModel.h"
#include "skin/SkinReader.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLineEdit>
#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace pelko::configdlg_test {

inline std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// The main window as the dialog sees it: a rebuild reads the settings, the
// accounts and the skin again, as FormCreate does.
struct FakeMainWindow : ConfigHost {
    explicit FakeMainWindow(Commun& c) : c(c) {}
    void RebuildMainWindow() override
    {
        ++rebuilds;
        modes.push_back(c.TestMode);
        MainValues mv;
        LoadSettingsAndAccounts(c, mv);
        dirs.push_back(c.settings.SkinDir);
        MainSkin main;
        MsgWindowSkin msg;
        ReadSkin(c.settings.SkinDir, main, msg);
        backgrounds.push_back(main.main);
    }
    int MainLeft() const override { return left; }
    int MainTop() const override { return top; }
    bool OnTopChecked() const override { return onTop; }

    Commun& c;
    int rebuilds = 0;
    std::vector<std::string> modes, dirs, backgrounds;
    int left = -20, top = 33;
    bool onTop = true;
};

class ConfigDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        root = tmp.path().toStdString() + "/";
        const char* source = std::getenv("PELKO_SOURCE_DIR");
        ASSERT_NE(source, nullptr) << "PELKO_SOURCE_DIR names the source tree";
        defaultSkin = std::string(source) + "/skins/default/";
        emberSkin = std::string(source) + "/skins/ember/";
        ASSERT_FALSE(readBytes(emberSkin + "skin.ini").empty());

        c.ProgramDir = root;
        writeBytes(root + "Pelko.ini", "current_skin = " + defaultSkin +
                                           "\r\nautocheck =1\r\nautoconnect =0\r\nheader_only =1\r\n"
                                           "ontop =0\r\nminutes = 7\r\nposX = 5\r\nposY = 6\r\n"
                                           "playsnd =0\r\nwavsnd = /snd/new.wav\r\nicon_tray =1\r\n"
                                           "run_my_client =0\r\nmy_mail_client = \r\nnotify =1\r\n");
        writeAccounts({{"home", "pop.home.example", "me", "pass1", false},
                       {"work", "pop.work.example", "me2", "pass2", false},
                       {"club", "pop.club.example", "me3", "pass3", true}});
        load();
    }

    void writeAccounts(const std::vector<TPOPAcc>& accounts)
    {
        Commun t;
        t.AccCount = int(accounts.size());
        for (size_t i = 0; i < accounts.size(); ++i)
            t.Accounts[i + 1] = accounts[i];
        SaveAccountsFile(root + "Accounts.ini", t);
    }

    // What the main window's start-up does before the dialog exists.
    void load()
    {
        MainValues mv;
        LoadSettingsAndAccounts(c, mv);
    }

    TConfig& dialog()
    {
        if (!dlg) {
            dlg = std::make_unique<TConfig>(c, platform, host);
            dlg->show(); // runs FormShow
        }
        return *dlg;
    }

    void fillAccount(const QString& name, const QString& hostName, const QString& user,
                     const QString& password)
    {
        dialog().NAccount->setText(name);
        dialog().HostTxt->setText(hostName);
        dialog().UserName->setText(user);
        dialog().Password->setText(password);
    }

    // The accounts as the next start would load them.
    Commun reloaded()
    {
        Commun r;
        r.ProgramDir = root;
        MainValues mv;
        LoadSettingsAndAccounts(r, mv);
        return r;
    }

    QTemporaryDir tmp;
    std::string root, defaultSkin, emberSkin;
    Commun c;
    FakePlatform platform;
    FakeMainWindow host{c};
    std::unique_ptr<TConfig> dlg;
};

} // namespace pelko::configdlg_test
