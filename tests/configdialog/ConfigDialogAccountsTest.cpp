#include "ConfigDialogFixture.h"
#include "config/AccountAuth.h"
#include "config/Keyring.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
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

TEST_F(ConfigDialogTest, TheSelectedAccountIsEditedAndSaved)
{
    TConfig& d = dialog();
    d.AccBtnClick();
    EXPECT_FALSE(d.SaveAcc->isEnabled());
    d.LstAcc->setCurrentRow(0); // home
    EXPECT_TRUE(d.SaveAcc->isEnabled() && d.SaveAcc->isDefault());
    d.Password->setText(QStringLiteral("fixed1"));
    d.HostTxt->setText(QStringLiteral("pop3s://pop.home.example"));
    // Another account shows its own values; back again, the fix is there.
    d.LstAcc->setCurrentRow(1);
    EXPECT_EQ(d.Password->text(), QStringLiteral("pass2"));
    EXPECT_EQ(d.HostTxt->text(), QStringLiteral("pop.work.example"));
    d.LstAcc->setCurrentRow(0);
    EXPECT_EQ(d.Password->text(), QStringLiteral("fixed1"));
    EXPECT_EQ(d.HostTxt->text(), QStringLiteral("pop3s://pop.home.example"));
    QTest::mouseClick(d.SaveAcc, Qt::LeftButton);
    EXPECT_TRUE(platform.boxes.empty()) << platform.boxes.front();
    Commun r = reloaded();
    ASSERT_EQ(r.AccCount, 3);
    EXPECT_EQ(r.Accounts[1].acc_name, "home");
    EXPECT_EQ(r.Accounts[1].host_name, "pop3s://pop.home.example");
    EXPECT_EQ(r.Accounts[1].password, "fixed1");
    EXPECT_EQ(r.Accounts[2].password, "pass2");

    // A new name goes into the list; the status stays.
    d.NAccount->setText(QStringLiteral("house"));
    d.SaveAccClick();
    EXPECT_EQ(d.LstAcc->item(0)->text(), QStringLiteral("house"));
    EXPECT_EQ(reloaded().Accounts[1].acc_name, "house");
    EXPECT_FALSE(reloaded().Accounts[1].inactive);

    // An edit left on another account is saved by OK.
    d.LstAcc->setCurrentRow(2);
    d.UserName->setText(QStringLiteral("me4"));
    d.LstAcc->setCurrentRow(1);
    QTest::mouseClick(d.OK, Qt::LeftButton);
    EXPECT_EQ(d.result(), TConfig::kModalOk);
    r = reloaded();
    EXPECT_EQ(r.Accounts[3].user_name, "me4");
    EXPECT_TRUE(r.Accounts[3].inactive);
    EXPECT_EQ(r.Accounts[2].user_name, "me2");
}

TEST_F(ConfigDialogTest, SavingAnEditChecksItLikeAdding)
{
    struct Case {
        QString name, host, user, password;
        std::vector<std::string> boxes;
    };
    const Case refused[] = {{"work", "pop.example", "u", "p", {kExists}},
                            {"work", "", "u", "p", {kExists, kFill}},
                            {"home", "", "u", "p", {kFill}}, // no host: refused, not skipped at the next start
                            {"", "pop.example", "u", "p", {kFill}},
                            {"home", "pop.example", "", "p", {kFill}},
                            {"home", "pop.example", "u", "", {kFill}}};
    TConfig& d = dialog();
    const std::string before = readBytes(root + "Accounts.ini");
    for (const Case& k : refused) {
        platform.boxes.clear();
        d.LstAcc->setCurrentRow(0);
        fillAccount(k.name, k.host, k.user, k.password);
        d.SaveAccClick();
        EXPECT_EQ(platform.boxes, k.boxes) << k.name.toStdString() << " " << k.host.toStdString();
        EXPECT_EQ(readBytes(root + "Accounts.ini"), before);
        EXPECT_EQ(c.Accounts[1].acc_name, "home");
    }
    // Adding without a host is refused as well.
    platform.boxes.clear();
    d.LstAcc->clearSelection();
    fillAccount("fresh", "", "u", "p");
    d.AddAccClick();
    EXPECT_EQ(platform.boxes, std::vector<std::string>{kFill});
    EXPECT_EQ(c.AccCount, 3);
}

TEST_F(ConfigDialogTest, NoFieldTakesALineBreak)
{
    TConfig& d = dialog();
    QClipboard* clip = QGuiApplication::clipboard();
    for (QLineEdit* field : {d.NAccount, d.HostTxt, d.UserName, d.Password, d.SndFile, d.MailClient}) {
        const std::string name = field->objectName().toStdString();
        field->setText(QStringLiteral("was"));
        field->end(false);
        // A line copied whole loses its end.
        clip->setText(QStringLiteral("pw\r\n"));
        field->paste();
        EXPECT_EQ(field->text(), QStringLiteral("waspw")) << name;
        // A line break inside is refused: the field keeps what it held.
        for (const char* text : {"pw\r\nDELE 1\r\n", "a\nb", "a\rb"}) {
            clip->setText(QString::fromLatin1(text));
            field->paste();
            EXPECT_EQ(field->text(), QStringLiteral("waspw")) << name << " " << text;
        }
    }
    // Text put there another way (an assistive tool) is refused when stored.
    const std::string before = readBytes(root + "Accounts.ini");
    d.LstAcc->clearSelection();
    fillAccount("fresh", "pop.example", "u", QStringLiteral("pw\r\nDELE 1"));
    d.AddAccClick();
    d.LstAcc->setCurrentRow(0);
    d.Password->setText(QStringLiteral("pw\nQUIT"));
    d.SaveAccClick();
    EXPECT_EQ(platform.boxes.size(), 2u);
    EXPECT_EQ(readBytes(root + "Accounts.ini"), before);
    EXPECT_EQ(c.AccCount, 3);
}

TEST_F(ConfigDialogTest, TheAccountsPageShowsWholeNamesAndMarksInactiveAccounts)
{
    std::vector<TPOPAcc> ten{{"NEWSLETTER", "pop.example", "me", "pass1", false},
                             {"Mailbox-10", "pop.example", "me2", "pass2", true}};
    for (int i = 3; i <= 10; ++i)
        ten.push_back({"Mailbox-0" + std::to_string(i - 1), "pop.example", "u", "p", false});
    writeAccounts(ten);
    load();
    TConfig& d = dialog();
    d.AccBtnClick();
    QApplication::processEvents();
    const int room = d.LstAcc->viewport()->width();
    for (int row = 0; row < 10; ++row) {
        const QListWidgetItem* item = d.LstAcc->item(row);
        EXPECT_LE(QFontMetrics(item->font()).horizontalAdvance(item->text()) + 4, room) << row;
        EXPECT_EQ(item->font().italic(), row == 1);
        EXPECT_EQ(item->toolTip().isEmpty(), row != 1);
    }
    // Marked at once when the state changes.
    d.LstAcc->setCurrentRow(0);
    QTest::mouseClick(d.ChkInact, Qt::LeftButton);
    EXPECT_TRUE(d.LstAcc->item(0)->font().italic());

    // Every text shows whole, the Command label of a token command too.
    d.LstAcc->clearSelection(); // the choice for a new account
    for (int source : {0, 2}) {
        d.SecretBox->setCurrentIndex(source);
        d.SignInChanged();
        QApplication::processEvents();
        for (QComboBox* box : d.PopPan->findChildren<QComboBox*>())
            EXPECT_GE(box->width(), box->sizeHint().width()) << box->objectName().toStdString() << source;
        for (QLabel* l : d.PopPan->findChildren<QLabel*>())
            EXPECT_GE(l->width(), l->sizeHint().width()) << l->text().toStdString();
        for (QAbstractButton* b : d.PopPan->findChildren<QAbstractButton*>())
            EXPECT_GE(b->width(), b->fontMetrics().horizontalAdvance(b->text().remove('&')) + 8)
                << b->text().toStdString();
    }
    QLabel* passwordLabel = nullptr;
    for (QLabel* l : d.PopPan->findChildren<QLabel*>())
        if (l->buddy() == d.Password)
            passwordLabel = l;
    ASSERT_NE(passwordLabel, nullptr);
    EXPECT_EQ(passwordLabel->text(), QStringLiteral("Co&mmand :"));
    // The name field looks as editable as the others.
    EXPECT_EQ(d.NAccount->palette().color(QPalette::Base), d.HostTxt->palette().color(QPalette::Base));
}
