#include "ConfigDialogFixture.h"
#include "config/AccountAuth.h"
#include "config/Keyring.h"

#include <QComboBox>

#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <cstdlib>

using namespace pelko;
using namespace pelko::configdlg_test;

namespace {
const std::string kExists = "Account already exists !";
const std::string kFill = "Please fill all fields of your account !";
const std::string kFull = "Accounts full, please delete one before !";
} // namespace

TEST_F(ConfigDialogTest, EleventhAccountIsRefused)
{
    std::vector<TPOPAcc> ten;
    for (int i = 1; i <= 10; ++i)
        ten.push_back({"acc" + std::to_string(i), "pop.example", "u", "p" + std::to_string(i), false});
    writeAccounts(ten);
    load();
    const std::string before = readBytes(root + "Accounts.ini");
    fillAccount("eleven", "pop.example", "u", "p");
    QTest::mouseClick(dialog().AddAcc, Qt::LeftButton);
    EXPECT_EQ(platform.boxes, std::vector<std::string>{kFull});
    EXPECT_EQ(c.AccCount, 10);
    EXPECT_EQ(readBytes(root + "Accounts.ini"), before);
    EXPECT_EQ(dialog().LstAcc->count(), 10);
}

TEST_F(ConfigDialogTest, AddingChecksNamesAndFieldsInOrder)
{
    struct Case {
        QString name, password;
        std::vector<std::string> boxes;
    };
    std::string tooLong;
    ASSERT_FALSE(PasswordStorable(std::string(300, 'x'), &tooLong));
    const Case refused[] = {{"home", "", {kExists, kFill}}, // both, in this order
                            {"home", "p", {kExists}},
                            {"", "p", {kFill}},
                            {"long", QString(300, QLatin1Char('x')), {tooLong}}};
    for (const Case& k : refused) {
        platform.boxes.clear();
        fillAccount(k.name, "pop.example", "u", k.password);
        dialog().AddAccClick();
        EXPECT_EQ(platform.boxes, k.boxes) << k.name.toStdString();
        EXPECT_EQ(c.AccCount, 3);
    }

    // Another letter case is another name; the file is rewritten at once.
    platform.boxes.clear();
    fillAccount("HOME", "pop3s://mail.example:995", "someone", "pa ss");
    dialog().AddAccClick();
    EXPECT_TRUE(platform.boxes.empty());
    ASSERT_EQ(c.AccCount, 4);
    EXPECT_EQ(dialog().LstAcc->item(3)->text(), QStringLiteral("HOME"));
    EXPECT_TRUE(dialog().NAccount->text().isEmpty());
    const Commun r = reloaded();
    ASSERT_EQ(r.AccCount, 4);
    EXPECT_EQ(r.Accounts[4].acc_name, "HOME");
    EXPECT_EQ(r.Accounts[4].host_name, "pop3s://mail.example:995");
    EXPECT_EQ(r.Accounts[4].password, "pa ss");
    EXPECT_FALSE(r.Accounts[4].inactive);
}

TEST_F(ConfigDialogTest, RemovingTheSecondOfThreeRewritesTheFile)
{
    TConfig& d = dialog();
    // Nothing selected: Remove, Active and Inactive change nothing.
    const std::string before = readBytes(root + "Accounts.ini");
    d.DelAccClick();
    QTest::mouseClick(d.ChkInact, Qt::LeftButton);
    QTest::mouseClick(d.ChkAct, Qt::LeftButton);
    EXPECT_EQ(c.AccCount, 3);
    EXPECT_EQ(readBytes(root + "Accounts.ini"), before);

    d.LstAcc->setCurrentRow(1);
    EXPECT_EQ(d.NAccount->text(), QStringLiteral("work"));
    QTest::mouseClick(d.DelAcc, Qt::LeftButton);
    EXPECT_EQ(c.AccCount, 2);
    EXPECT_EQ(d.LstAcc->count(), 2);
    EXPECT_TRUE(c.Accounts[3].acc_name.empty());
    const std::string file = readBytes(root + "Accounts.ini");
    EXPECT_NE(file.find("\r\n[Account1]\r\nacc_name = home\r\n"), std::string::npos);
    EXPECT_NE(file.find("\r\n[Account2]\r\nacc_name = club\r\n"), std::string::npos);
    EXPECT_EQ(file.find("[Account3]"), std::string::npos);
    const Commun r = reloaded();
    ASSERT_EQ(r.AccCount, 2);
    EXPECT_FALSE(r.Accounts[1].inactive);
    EXPECT_EQ(r.Accounts[2].password, "pass3");
    EXPECT_TRUE(r.Accounts[2].inactive);
}

TEST_F(ConfigDialogTest, SelectingShowsTheAccountAndStatusIsSavedAtOnce)
{
    TConfig& d = dialog();
    EXPECT_FALSE(d.ChkAct->isChecked() || d.ChkInact->isChecked());
    d.LstAcc->setCurrentRow(2);
    EXPECT_EQ(d.HostTxt->text(), QStringLiteral("pop.club.example"));
    EXPECT_EQ(d.UserName->text(), QStringLiteral("me3"));
    EXPECT_EQ(d.Password->text(), QStringLiteral("pass3"));
    EXPECT_EQ(d.Password->displayText(), QStringLiteral("*****"));
    EXPECT_TRUE(d.ChkInact->isChecked());
    QTest::mouseClick(d.ChkAct, Qt::LeftButton);
    EXPECT_FALSE(reloaded().Accounts[3].inactive);

    d.LstAcc->setCurrentRow(0);
    EXPECT_TRUE(d.ChkAct->isChecked());
    QTest::mouseClick(d.ChkInact, Qt::LeftButton);
    EXPECT_TRUE(reloaded().Accounts[1].inactive);

    // The status buttons outlive the refresh; a new account takes their state.
    fillAccount("fresh", "pop.example", "u", "p");
    d.AddAccClick();
    EXPECT_TRUE(d.ChkInact->isChecked());
    EXPECT_TRUE(reloaded().Accounts[4].inactive);

    // A write failure is reported; the old file stays.
    c.ProgramDir = root + "missing/";
    d.LstAcc->setCurrentRow(1);
    d.ChkInactClick();
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].rfind("Cannot write " + root + "missing/Accounts.ini", 0), 0u);
    EXPECT_FALSE(reloaded().Accounts[2].inactive);
}

TEST_F(ConfigDialogTest, FailedWritePutsTheTableBack)
{
    TConfig& d = dialog();
    auto names = [&d] {
        std::vector<std::string> out;
        for (int i = 0; i < d.LstAcc->count(); ++i)
            out.push_back(d.LstAcc->item(i)->text().toStdString());
        return out;
    };
    const std::vector<std::string> three{"home", "work", "club"};
    const std::string file = readBytes(root + "Accounts.ini");
    c.ProgramDir = root + "missing/"; // no directory to write into

    fillAccount("fresh", "pop.example", "u", "p");
    d.AddAccClick();
    EXPECT_EQ(c.AccCount, 3);
    EXPECT_EQ(names(), three);
    EXPECT_EQ(d.NAccount->text(), QStringLiteral("fresh")); // typed text kept for another try

    d.LstAcc->setCurrentRow(1);
    d.DelAccClick();
    EXPECT_EQ(c.AccCount, 3);
    EXPECT_EQ(names(), three);
    EXPECT_EQ(c.Accounts[2].acc_name, "work");
    EXPECT_EQ(d.LstAcc->currentRow(), 1);

    d.LstAcc->setCurrentRow(2); // club is inactive
    QTest::mouseClick(d.ChkAct, Qt::LeftButton);
    EXPECT_TRUE(c.Accounts[3].inactive);
    EXPECT_TRUE(d.ChkInact->isChecked());

    EXPECT_EQ(platform.boxes.size(), 3u);
    c.ProgramDir = root;
    EXPECT_EQ(readBytes(root + "Accounts.ini"), file);
    EXPECT_EQ(AccountsFileText(c), file); // the table is the file
}

TEST_F(ConfigDialogTest, SignInChoicesGoIntoThePasswordLineAndTheKeyringOnlyWhenThere)
{
    // No keyring in this test: choosing it is refused where it is chosen.
    const char* bus = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string savedBus = bus ? bus : "";
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string before = readBytes(root + "Accounts.ini");
    fillAccount("vault", "pop.example", "u", "topsecret");
    dialog().SecretBox->setCurrentIndex(1);
    dialog().AddAccClick();
    ASSERT_EQ(platform.boxes.size(), 1u);
    EXPECT_EQ(platform.boxes[0].rfind(keyring::kNotAvailableText, 0), 0u) << platform.boxes[0];
    EXPECT_EQ(readBytes(root + "Accounts.ini"), before) << "the password never went into the file";
    EXPECT_EQ(c.AccCount, 3);

    // A token command with XOAUTH2: a marker, read back as it was chosen.
    platform.boxes.clear();
    fillAccount("cloud", "pop3s://outlook.example", "me@example.org", "oauth2-token --account me");
    dialog().SecretBox->setCurrentIndex(2);
    dialog().MechBox->setCurrentIndex(2);
    dialog().AddAccClick();
    ASSERT_TRUE(platform.boxes.empty()) << platform.boxes.front();
    ASSERT_EQ(c.AccCount, 4);
    EXPECT_EQ(c.Accounts[4].password, "{pelko:command:xoauth2}oauth2-token --account me");

    // The first account, a plain password: PLAIN is chosen for it at once;
    // moving it to the (missing) keyring is refused and changes nothing.
    dialog().LstAcc->setCurrentRow(0);
    const std::string plain = c.Accounts[1].password;
    dialog().MechBox->setCurrentIndex(1);
    dialog().SignInChanged();
    EXPECT_TRUE(platform.boxes.empty()) << platform.boxes.front();
    EXPECT_EQ(ReadAccountAuth(c.Accounts[1].password).mechanism, AuthMechanism::Plain);
    EXPECT_EQ(ReadAccountAuth(c.Accounts[1].password).password, plain);
    const std::string saved = readBytes(root + "Accounts.ini");
    dialog().SecretBox->setCurrentIndex(1);
    dialog().SignInChanged();
    EXPECT_EQ(ReadAccountAuth(c.Accounts[1].password).mechanism, AuthMechanism::Plain);
    EXPECT_EQ(ReadAccountAuth(c.Accounts[1].password).password, plain);
    EXPECT_EQ(dialog().SecretBox->currentIndex(), 0);
    EXPECT_EQ(readBytes(root + "Accounts.ini"), saved);
    if (bus)
        ::setenv("DBUS_SESSION_BUS_ADDRESS", savedBus.c_str(), 1);
}
