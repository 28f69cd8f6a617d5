// The Accounts page: the account table is edited in place and Accounts.ini
// rewritten after every change.
#include "config/AccountAuth.h"
#include "config/Keyring.h"
#include "config/SettingsFile.h"
#include "config/dialog/ConfigDialog.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSignalBlocker>

namespace pelko {

namespace {

const std::string kAccountExists = "Account already exists !";
const std::string kFillAllFields = "Please fill all fields of your account !";
const std::string kAccountsFull = "Accounts full, please delete one before !";

std::string bytes(const QLineEdit* e) { return e->text().toUtf8().toStdString(); }

const std::string kTypeTheCommand = "Type the command that prints the token in the Passwd field first.";
const std::string kTypeThePassword = "Type the password in the Passwd field first.";
const std::string kNotStored = "\rNothing was written to Accounts.ini.";

// The account table as it was before a change, to put back when the file
// cannot take the change: list and file never disagree.
struct TableBefore {
    explicit TableBefore(const Commun& c) : accounts(c.Accounts), count(c.AccCount) {}
    void restore(Commun& c) const
    {
        c.Accounts = accounts;
        c.AccCount = count;
    }
    std::array<TPOPAcc, kMaxAccounts + 1> accounts;
    int count;
};

// A command is shown as typed; a password is hidden.
QLineEdit::EchoMode echoFor(SecretSource source)
{
    return source == SecretSource::Command ? QLineEdit::Normal : QLineEdit::Password;
}

} // namespace

void TConfig::showSignIn(const AccountAuth& auth)
{
    SecretBox->setCurrentIndex(static_cast<int>(auth.source));
    MechBox->setCurrentIndex(static_cast<int>(auth.mechanism));
    Password->setEchoMode(echoFor(auth.source));
}

bool TConfig::SaveAccounts()
{
    return guarded([this] { SaveAccountsFile(c_.accountsFile(), c_); });
}

int TConfig::selectedAccount() const
{
    const int row = LstAcc->currentRow();
    if (row < 0 || row >= c_.AccCount || !LstAcc->item(row)->isSelected())
        return 0;
    return row + 1;
}

void TConfig::uncheckStatusButtons()
{
    for (QRadioButton* r : {ChkAct, ChkInact}) {
        r->setAutoExclusive(false);
        r->setChecked(false);
        r->setAutoExclusive(true);
    }
}

void TConfig::RefreshAccountList()
{
    {
        const QSignalBlocker block(LstAcc);
        LstAcc->clear();
        for (int i = 1; i <= c_.AccCount; ++i)
            LstAcc->addItem(QString::fromUtf8(c_.Accounts[size_t(i)].acc_name.c_str()));
    }
    NAccount->clear();
    HostTxt->clear();
    UserName->clear();
    Password->clear();
    showSignIn(AccountAuth{});
}

void TConfig::AddAccClick()
{
    const std::string name = bytes(NAccount), host = bytes(HostTxt), user = bytes(UserName),
                      password = bytes(Password);

    // A duplicate name with an empty field gets both messages, in this order.
    bool duplicate = false;
    if (!name.empty())
        for (int i = 1; i <= c_.AccCount; ++i)
            if (c_.Accounts[size_t(i)].acc_name == name)
                duplicate = true;
    if (duplicate)
        p_.messageBox(kAccountExists, this);
    if (name.empty() || user.empty() || password.empty() || host.empty()) {
        p_.messageBox(kFillAllFields, this);
        return;
    }
    if (duplicate)
        return;
    if (c_.AccCount + 1 > kMaxAccounts) {
        p_.messageBox(kAccountsFull, this);
        return;
    }

    TPOPAcc acc;
    acc.acc_name = name;
    acc.host_name = host;
    acc.user_name = user;
    AccountAuth auth;
    auth.source = static_cast<SecretSource>(SecretBox->currentIndex());
    auth.mechanism = static_cast<AuthMechanism>(MechBox->currentIndex());
    (auth.source == SecretSource::Command ? auth.command : auth.password) = password;
    acc.password = AccountAuthField(auth);
    // The new account takes the state the status buttons show.
    acc.inactive = ChkInact->isChecked();
    // Refuse what Accounts.ini could not give back unchanged (some passwords,
    // a name holding another key), before the table changes.
    std::string why;
    if (!AccountStorable(acc, &why)) {
        p_.messageBox(why, this);
        return;
    }

    // A password for the keyring goes there, never into the file.
    if (auth.source == SecretSource::Keyring && !keyring::Store(name, host, password, &why)) {
        p_.messageBox(why + kNotStored, this);
        return;
    }

    const TableBefore before(c_);
    ++c_.AccCount;
    c_.Accounts[size_t(c_.AccCount)] = acc;
    if (!SaveAccounts()) {
        // Not in the file, so not in the list; what was typed stays for another try.
        before.restore(c_);
        if (auth.source == SecretSource::Keyring)
            keyring::Remove(name, host);
        const QString typed[] = {NAccount->text(), HostTxt->text(), UserName->text(), Password->text()};
        RefreshAccountList();
        NAccount->setText(typed[0]);
        HostTxt->setText(typed[1]);
        UserName->setText(typed[2]);
        Password->setText(typed[3]);
        return;
    }
    RefreshAccountList();
    NAccount->setFocus();
}

void TConfig::DelAccClick()
{
    const int sel = selectedAccount();
    if (sel == 0)
        return;
    const TableBefore before(c_);
    for (int i = sel; i < c_.AccCount; ++i)
        c_.Accounts[size_t(i)] = c_.Accounts[size_t(i + 1)];
    // The freed slot keeps no copy of the last account (nor its password).
    c_.Accounts[size_t(c_.AccCount)] = TPOPAcc{};
    --c_.AccCount;
    const bool saved = SaveAccounts();
    if (!saved)
        before.restore(c_); // still in the file: still in the list, still selected
    RefreshAccountList();
    if (!saved)
        LstAcc->setCurrentRow(sel - 1);
}

void TConfig::LstAccClick()
{
    const int sel = selectedAccount();
    if (sel == 0)
        return;
    const TPOPAcc& acc = c_.Accounts[size_t(sel)];
    NAccount->setText(QString::fromUtf8(acc.acc_name.c_str()));
    HostTxt->setText(QString::fromUtf8(acc.host_name.c_str()));
    UserName->setText(QString::fromUtf8(acc.user_name.c_str()));
    const AccountAuth auth = ReadAccountAuth(acc.password);
    showSignIn(auth);
    Password->setText(QString::fromUtf8((auth.source == SecretSource::Command ? auth.command : auth.password).c_str()));
    if (acc.inactive)
        ChkInact->setChecked(true);
    else
        ChkAct->setChecked(true);
}

void TConfig::setSelectedInactive(bool inactive)
{
    const int sel = selectedAccount();
    if (sel == 0)
        return;
    c_.Accounts[size_t(sel)].inactive = inactive;
    if (!SaveAccounts()) {
        c_.Accounts[size_t(sel)].inactive = !inactive;
        (inactive ? ChkAct : ChkInact)->setChecked(true);
    }
}

void TConfig::SignInChanged()
{
    const auto source = static_cast<SecretSource>(SecretBox->currentIndex());
    Password->setEchoMode(echoFor(source));
    const int sel = selectedAccount();
    if (sel == 0)
        return; // a choice for the next account added
    TPOPAcc& acc = c_.Accounts[size_t(sel)];
    const AccountAuth before = ReadAccountAuth(acc.password);
    // A refused change: the box says why, the controls show the account again.
    const auto fail = [&](const std::string& box) {
        p_.messageBox(box, this);
        showSignIn(before);
    };
    AccountAuth after;
    after.source = source;
    after.mechanism = static_cast<AuthMechanism>(MechBox->currentIndex());
    const std::string typed = bytes(Password);
    std::string why;
    switch (source) {
    case SecretSource::Password:
        if (before.source == SecretSource::Keyring) {
            const auto kept = keyring::Lookup(acc.acc_name, acc.host_name, &why);
            if (!kept)
                return fail(why);
            after.password = *kept;
        } else {
            after.password = before.source == SecretSource::Password ? before.password : typed;
        }
        if (after.password.empty())
            return fail(kTypeThePassword);
        break;
    case SecretSource::Keyring:
        // Moving a password into the keyring takes it out of the file.
        if (before.source != SecretSource::Keyring) {
            const std::string password = before.source == SecretSource::Password ? before.password : typed;
            if (password.empty() || before.source == SecretSource::Command)
                return fail(kTypeThePassword);
            if (!keyring::Store(acc.acc_name, acc.host_name, password, &why))
                return fail(why + kNotStored);
        }
        break;
    case SecretSource::Command:
        after.command = before.source == SecretSource::Command ? before.command : typed;
        if (after.command.empty() || (before.source == SecretSource::Password && typed == before.password))
            return fail(kTypeTheCommand);
        break;
    }
    const std::string old = acc.password;
    acc.password = AccountAuthField(after);
    if (!AccountStorable(acc, &why)) {
        acc.password = old;
        return fail(why);
    }
    if (!SaveAccounts()) {
        acc.password = old;
        showSignIn(before); // SaveAccounts has shown why
        return;
    }
    if (before.source == SecretSource::Keyring && source != SecretSource::Keyring)
        keyring::Remove(acc.acc_name, acc.host_name);
    LstAccClick();
}

void TConfig::ChkActClick() { setSelectedInactive(false); }
void TConfig::ChkInactClick() { setSelectedInactive(true); }

} // namespace pelko
