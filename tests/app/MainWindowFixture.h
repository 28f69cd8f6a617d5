#pragma once
// The main window in a program directory of its own (a temporary folder with
// Pelko.ini and Accounts.ini, the project's default skin), driven headless
// through the fake platform.
#include "AwaitExchanges.h"
#include "Dovecot.h"
#include "FakePlatform.h"
#include "app/Pelko.h"
#include "config/Scramble.h"
#include "config/SettingsFile.h"
#include "skinqt/FontRender.h"
#include "skinqt/SkinImage.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace pelko::mainwin_test {

// The repository root: PELKO_SOURCE_DIR, else the source directory named in
// the build's CMakeCache.txt (the test binary lives in <build>/tests).
inline std::string sourceDir()
{
    const char* s = std::getenv("PELKO_SOURCE_DIR");
    if (s && *s)
        return s;
    const QString cache = QCoreApplication::applicationDirPath() + QStringLiteral("/../CMakeCache.txt");
    std::ifstream in(cache.toStdString());
    const std::string key = "CMAKE_HOME_DIRECTORY:INTERNAL=";
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key, 0) == 0)
            return line.substr(key.size());
    return ".";
}

inline std::string defaultSkin() { return sourceDir() + "/skins/default/"; }

inline std::string fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void putFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// A small message with CR LF line ends.
inline std::string sampleMail(int n, const std::string& subject = "")
{
    return "From: Sender " + std::to_string(n) + " <sender" + std::to_string(n) +
           "@example.org>\r\n"
           "To: you@example.org\r\n"
           "Subject: " +
           (subject.empty() ? "Message " + std::to_string(n) : subject) +
           "\r\n"
           "Date: Mon, 3 Jun 2024 10:0" +
           std::to_string(n % 10) +
           ":00 +0200\r\n"
           "Message-ID: <m" +
           std::to_string(n) +
           "@example.org>\r\n"
           "\r\n"
           "Body of message " +
           std::to_string(n) + ".\r\n";
}

inline void fillMailbox(int user, int count)
{
    DovecotClearMailbox(user);
    for (int i = 1; i <= count; ++i)
        DovecotAddMessage(user, sampleMail(i));
}

// Pelko.ini as the program writes it; the default skin, no automatic work.
inline SettingsLines baseSettings()
{
    SettingsLines l;
    l.current_skin = defaultSkin();
    l.minutes = 1;
    l.posX = 10;
    l.posY = 10;
    l.wavsnd = "/tmp/pelko-test-newmail.wav";
    l.playsnd = true;
    return l;
}

inline TPOPAcc account(const std::string& name, int dovecotUser, bool inactive = false,
                       const std::string& password = "")
{
    TPOPAcc a;
    a.acc_name = name;
    a.host_name = "127.0.0.1:" + std::to_string(DovecotPort());
    a.user_name = DovecotUser(dovecotUser);
    a.password = password.empty() ? DovecotPassword(dovecotUser) : password;
    a.inactive = inactive;
    return a;
}

// The auto-connect of the start runs from the event loop: let it run.
inline void awaitAutoConnect(const TPelko& w)
{
    QElapsedTimer t;
    t.start();
    while (w.AutoConnectPending() && t.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    awaitExchanges();
}

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(tmp.isValid()); }
    void TearDown() override
    {
        // The window's destructor closes the connection; nothing may reach
        // a closed fake afterwards.
        w.reset();
    }

    std::string dir() const { return tmp.path().toStdString() + "/"; }
    std::string pelkoIni() const { return dir() + "Pelko.ini"; }
    std::string accountsIni() const { return dir() + "Accounts.ini"; }

    void writeSettings(const SettingsLines& l) { SaveSettingsFile(pelkoIni(), l); }
    void writeAccounts(const std::vector<TPOPAcc>& accounts)
    {
        Commun table;
        for (const TPOPAcc& a : accounts)
            table.Accounts[size_t(++table.AccCount)] = a;
        SaveAccountsFile(accountsIni(), table);
    }

    // Creates the main window (FormCreate and the first FormActivate run).
    TPelko& start()
    {
        c.ProgramDir = dir();
        try {
            w = std::make_unique<TPelko>(c, fake);
            awaitAutoConnect(*w);
        } catch (const FatalEndCalled& e) {
            // Say which end it was before the test sees it.
            std::fprintf(stderr, "fatal end at start: %s\n", e.text.c_str());
            throw;
        }
        return *w;
    }

    // Lets queued work (held-back commands) run.
    static void settle(int ms = 50)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }

    std::string status() const { return w->STATBMP->hint(); }
    bool flagShows(const std::string& file) const
    {
        return w->FLAG->picture() == QImage(QString::fromStdString(file));
    }
    // The count image holds exactly the digits of n in the skin's digit font.
    bool countShows(int n) const
    {
        const MainSkin& k = w->skin();
        return w->NBMSGBMP->picture() ==
               RenderFontText(LoadFontPicture(k.nbmsgbmp), std::to_string(n), k.nbmsgSize.x, k.nbmsgSize.y, 128,
                              false);
    }
    bool onlineShows(const std::string& file) const
    {
        return w->Online->picture() == QImage(QString::fromStdString(file));
    }

    QTemporaryDir tmp;
    FakePlatform fake;
    Commun c;
    std::unique_ptr<TPelko> w;
};

#define PELKO_NEED_DOVECOT()                                                                           \
    do {                                                                                               \
        if (!DovecotAvailable())                                                                       \
            GTEST_SKIP() << "the test dovecot is not running";                                         \
    } while (0)

} // namespace pelko::mainwin_test
