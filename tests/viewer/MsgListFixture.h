#pragma once
// The message window on a real main window: a program directory in a
// temporary folder (Pelko.ini, Accounts.ini, a copy of the project's skins),
// one account on the test dovecot, the fake platform for boxes, dialogs and
// addresses.
#include "AwaitExchanges.h"
#include "Dovecot.h"
#include "FakePlatform.h"
#include "app/Pelko.h"
#include "config/SettingsFile.h"
#include "skinqt/TrMemo.h"
#include "viewer/MsgList.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace pelko::msglist_test {

inline std::string fileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void putFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// Copies a skin directory (flat: skins have no sub-directories).
inline bool copySkin(const std::string& from, const std::string& to)
{
    if (!QDir().mkpath(QString::fromStdString(to)))
        return false;
    for (const QFileInfo& fi : QDir(QString::fromStdString(from)).entryInfoList(QDir::Files))
        if (!QFile::copy(fi.filePath(), QString::fromStdString(to) + fi.fileName()))
            return false;
    return true;
}

// A plain message with CR LF line ends; its subject is "Message n".
inline std::string plainMail(int n)
{
    const std::string s = std::to_string(n);
    return "From: Sender " + s + " <sender" + s + "@example.org>\r\n"
           "To: you@example.org\r\n"
           "Subject: Message " + s + "\r\n"
           "Date: Mon, 3 Jun 2024 10:07:3" + std::to_string(n % 10) + " +0200\r\n"
           "Message-ID: <m" + s + "@example.org>\r\n"
           "\r\n"
           "Body of message " + s + ".\r\n";
}

// "Date : " and a moment in local time, worked out by Qt rather than by our code.
inline std::string dateLine(const QString& iso)
{
    const QDateTime t = QDateTime::fromString(iso, Qt::ISODate).toLocalTime();
    return "Date : " + QLocale::c().toString(t, QStringLiteral("ddd, d MMM yyyy hh:mm:ss")).toStdString();
}
inline std::string plainDateLine(int n) { return dateLine(QStringLiteral("2024-06-03T10:07:3%1+02:00").arg(n % 10)); }

// Drops a message into user n's Maildir/new. The server numbers new
// messages in the order of their file names, so the names sort in the order
// the messages were added (a fixed-width counter).
inline void addMail(int user, const std::string& rfc822CRLF)
{
    static unsigned counter = 0;
    char seq[16];
    std::snprintf(seq, sizeof seq, "%08u", counter++);
    const std::string name = "1700000000.P" + std::to_string(::getpid()) + "Q" + seq + ".pelko-viewer";
    const std::string maildir = DovecotDir() + "/mail/" + DovecotUser(user) + "/Maildir";
    const std::string tmpName = maildir + "/tmp/" + name;
    putFile(tmpName, rfc822CRLF);
    ::chmod(tmpName.c_str(), 0644);
    if (::chown(tmpName.c_str(), 65534, 65534) != 0) {
        // Not root: the server can still read a 0644 file.
    }
    ASSERT_EQ(::rename(tmpName.c_str(), (maildir + "/new/" + name).c_str()), 0) << tmpName;
}

inline void fillMailbox(int user, int count)
{
    DovecotClearMailbox(user);
    for (int i = 1; i <= count; ++i)
        addMail(user, plainMail(i));
}

struct Options {
    bool headerOnly = false;
    bool autocheck = false;
    bool autoconnect = true;
    std::string skin = "default";
    bool imap = false; // the account over IMAP rather than POP3
};

class MsgListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        const char* source = std::getenv("PELKO_SOURCE_DIR");
        ASSERT_NE(source, nullptr) << "PELKO_SOURCE_DIR names the source tree";
        for (const char* skin : {"default", "ember"})
            ASSERT_TRUE(copySkin(std::string(source) + "/skins/" + skin + "/", skinDir(skin)));
    }

    void TearDown() override
    {
        // The window works on the main window's connection: it goes first.
        if (win)
            win->hide();
        win.reset();
        main.reset();
    }

    std::string dir() const { return tmp.path().toStdString() + "/"; }
    std::string skinDir(const std::string& name) const { return dir() + "skins/" + name + "/"; }

    // Writes the two files, creates the main window (which logs in and
    // counts when autoconnect is on) and the message window.
    void start(int user, const Options& o = {})
    {
        SettingsLines l;
        l.current_skin = skinDir(o.skin);
        l.autocheck = o.autocheck;
        l.autoconnect = o.autoconnect;
        l.header_only = o.headerOnly;
        l.minutes = 5;
        l.wavsnd = "";
        SaveSettingsFile(dir() + "Pelko.ini", l);

        Commun table;
        TPOPAcc& a = table.Accounts[1];
        a.acc_name = "test";
        a.host_name = o.imap ? "imap://127.0.0.1:" + std::to_string(DovecotImapPort())
                             : "127.0.0.1:" + std::to_string(DovecotPort());
        a.user_name = DovecotUser(user);
        a.password = DovecotPassword(user);
        table.AccCount = 1;
        SaveAccountsFile(dir() + "Accounts.ini", table);

        c.ProgramDir = dir();
        main = std::make_unique<TPelko>(c, fake);
        // The auto-connect of the start runs from the event loop.
        for (int i = 0; i < 3000 && main->AutoConnectPending(); ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        awaitExchanges();
        win = std::make_unique<TMsgList>(*main);
        main->SetMsgWindow(win.get());
    }

    // Line i of the window's text.
    std::string line(size_t i) const
    {
        const QStringList l = win->Mess->toPlainText().split(QLatin1Char('\n'));
        return int(i) < l.size() ? l[int(i)].toStdString() : "<no line " + std::to_string(i) + ">";
    }

    QTemporaryDir tmp;
    FakePlatform fake;
    Commun c;
    std::unique_ptr<TPelko> main;
    std::unique_ptr<TMsgList> win;
};

#define PELKO_NEED_DOVECOT()                                                                           \
    do {                                                                                               \
        if (!DovecotAvailable())                                                                       \
            GTEST_SKIP() << "the test dovecot is not running";                                         \
    } while (0)

} // namespace pelko::msglist_test
