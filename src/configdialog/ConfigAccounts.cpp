// The Accounts page: the account table is edited in place and Accounts.ini
// rewritten after every change.
#include "config/AccountAuth.h"
#include "config/SettingsFile.h"
#include "configdialog/ConfigDialog.h"
#include "configdialog/KeyringWait.h"
#include "configdialog/OneLineValidator.h"
#include "configdialog/ServerForm.h"

#include <QActionGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QKeySequence>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QToolButton>

namespace pelko {

namespace {

const std::string kAccountExists = "Account already exists !";
const std::string kFillAllFields = "Please fill all fields of your account !";
const std::string kAccountsFull = "Accounts full, please delete one before !";

std::string bytes(const QString& s) { return s.toUtf8().toStdString(); }
std::string bytes(const QLineEdit* e) { return bytes(e->text()); }
QString text(const std::string& s) { return QString::fromUtf8(s.c_str()); }

const std::string kTypeTheCommand = "Type the command that prints the token in the Passwd field first.";
const std::string kTypeThePassword = "Type the password in the Passwd field first.";
const std::string kNotStored = "\rNothing was written to Accounts.ini.";
const std::string kLineBreak = "A field of the account holds a line break, which cannot be stored.";

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

// What the Passwd field shows of an account: the command of a token command,
// else the password (nothing for one kept in the keyring).
std::string shownSecret(const AccountAuth& auth)
{
    return auth.source == SecretSource::Command ? auth.command : auth.password;
}

int accountIndex(const Commun& c, const std::string& name)
{
    for (int i = 1; i <= c.AccCount; ++i)
        if (c.Accounts[size_t(i)].acc_name == name)
            return i;
    return 0;
}

} // namespace

void TConfig::buildServerChoice(QWidget* info)
{
    auto* grid = static_cast<QGridLayout*>(info->layout());
    int row = 0, column = 0, rowSpan = 0, columnSpan = 0;
    grid->getItemPosition(grid->indexOf(HostTxt), &row, &column, &rowSpan, &columnSpan);
    grid->removeWidget(HostTxt);
    auto* hostRow = new QHBoxLayout;
    hostRow->setSpacing(2);
    hostRow->addWidget(HostTxt, 1);
    ServerBtn = new QToolButton(info);
    ServerBtn->setObjectName(QStringLiteral("ServerBtn"));
    ServerBtn->setArrowType(Qt::DownArrow);
    ServerBtn->setPopupMode(QToolButton::InstantPopup);
    ServerBtn->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0; }"));
    ServerBtn->setFixedWidth(18);
    ServerBtn->setAccessibleName(QStringLiteral("Protocol and connection"));
    ServerBtn->setToolTip(QStringLiteral("The protocol (POP3, IMAP) and the connection (TLS, STARTTLS, plain),\n"
                                         "written into the Host field (Alt+Down there)"));
    hostRow->addWidget(ServerBtn, 0);
    grid->addLayout(hostRow, row, column);
    HostTxt->setToolTip(QStringLiteral("host, host:port, [::1]:port, pop3s://host[:port], pop3://host[:port]?starttls,\n"
                                       "imaps://host[:port][/mailbox], imap://host[:port][/mailbox]?starttls"));

    auto* menu = new QMenu(ServerBtn);
    auto* protocols = new QActionGroup(menu);
    auto* connections = new QActionGroup(menu);
    const auto add = [menu](QActionGroup* group, const QString& text, int value) {
        QAction* a = menu->addAction(text);
        a->setCheckable(true);
        a->setData(value);
        group->addAction(a);
        return a;
    };
    add(protocols, QStringLiteral("P&OP3"), int(ServerProtocol::Pop3));
    add(protocols, QStringLiteral("&IMAP"), int(ServerProtocol::Imap));
    menu->addSeparator();
    add(connections, QStringLiteral("&TLS"), int(ServerConnection::Tls));
    add(connections, QStringLiteral("&STARTTLS"), int(ServerConnection::StartTls));
    add(connections, QStringLiteral("&Plain (unencrypted)"), int(ServerConnection::Plain));
    ServerBtn->setMenu(menu);
    // Opened from the Host field with Alt+Down, as a combo box opens; Tab
    // still goes from the Host field to the Login field.
    ServerBtn->setFocusPolicy(Qt::NoFocus);
    auto* open = new QAction(HostTxt);
    open->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Down));
    open->setShortcutContext(Qt::WidgetShortcut);
    HostTxt->addAction(open);
    connect(open, &QAction::triggered, ServerBtn, &QToolButton::showMenu);
    // The marks follow what the field holds when the menu opens.
    connect(menu, &QMenu::aboutToShow, this, [this, protocols, connections] {
        const ServerForm form = ReadServerForm(bytes(HostTxt));
        for (QAction* a : protocols->actions())
            a->setChecked(a->data().toInt() == int(form.protocol));
        for (QAction* a : connections->actions())
            a->setChecked(a->data().toInt() == int(form.connection));
    });
    connect(menu, &QMenu::triggered, this, [this, protocols, connections] {
        ServerForm form;
        if (QAction* a = protocols->checkedAction())
            form.protocol = static_cast<ServerProtocol>(a->data().toInt());
        if (QAction* a = connections->checkedAction())
            form.connection = static_cast<ServerConnection>(a->data().toInt());
        HostTxt->setText(text(WithServerForm(bytes(HostTxt), form)));
        HostTxt->setFocus();
        HostTxt->end(false);
    });
}

void TConfig::showSignIn(const AccountAuth& auth)
{
    SecretBox->setCurrentIndex(static_cast<int>(auth.source));
    MechBox->setCurrentIndex(static_cast<int>(auth.mechanism));
    Password->setEchoMode(echoFor(auth.source));
    PasswordLabel->setText(auth.source == SecretSource::Command ? QStringLiteral("Co&mmand :")
                                                                : QStringLiteral("&Passwd : "));
}

TConfig::AccountEdit TConfig::typedAccount() const
{
    return {NAccount->text(), HostTxt->text(), UserName->text(), Password->text()};
}

TConfig::AccountEdit TConfig::storedAccount(int index) const
{
    const TPOPAcc& acc = c_.Accounts[size_t(index)];
    return {text(acc.acc_name), text(acc.host_name), text(acc.user_name),
            text(shownSecret(ReadAccountAuth(acc.password)))};
}

void TConfig::showAccount(const AccountEdit& e)
{
    NAccount->setText(e.name);
    HostTxt->setText(e.host);
    UserName->setText(e.user);
    Password->setText(e.secret);
}

bool TConfig::accountFieldHoldsLineBreak()
{
    for (const QLineEdit* e : {NAccount, HostTxt, UserName, Password})
        if (HoldsLineBreak(e->text())) {
            p_.messageBox(kLineBreak, this);
            return true;
        }
    return false;
}

void TConfig::markAccountItem(int index)
{
    QListWidgetItem* item = LstAcc->item(index - 1);
    if (!item)
        return;
    const TPOPAcc& acc = c_.Accounts[size_t(index)];
    item->setText(text(acc.acc_name));
    QFont f = LstAcc->font();
    f.setItalic(acc.inactive);
    item->setFont(f);
    item->setForeground(LstAcc->palette().brush(acc.inactive ? QPalette::Disabled : QPalette::Active,
                                                QPalette::Text));
    item->setToolTip(acc.inactive ? QStringLiteral("Inactive: not checked") : QString());
}

void TConfig::updateAccountButtons()
{
    const bool selected = selectedAccount() != 0;
    SaveAcc->setEnabled(selected);
    if (!PopPan->isHidden())
        (selected ? SaveAcc : AddAcc)->setDefault(true);
}

void TConfig::keepAccountEdit()
{
    const int index = accountIndex(c_, shownAccount_);
    if (shownAccount_.empty() || index == 0)
        return;
    const AccountEdit typed = typedAccount();
    if (typed == storedAccount(index))
        edits_.erase(shownAccount_);
    else
        edits_[shownAccount_] = typed;
}

bool TConfig::storeAccountEdit(int index, const AccountEdit& e)
{
    for (const QString* field : {&e.name, &e.host, &e.user, &e.secret})
        if (HoldsLineBreak(*field)) {
            p_.messageBox(kLineBreak, this);
            return false;
        }
    const std::string name = bytes(e.name), host = bytes(e.host), user = bytes(e.user), secret = bytes(e.secret);
    TPOPAcc& current = c_.Accounts[size_t(index)];
    const AccountAuth auth = ReadAccountAuth(current.password);
    const bool keyring = auth.source == SecretSource::Keyring;

    // The checks and messages of Add; the account may keep its own name.
    const int other = name.empty() ? 0 : accountIndex(c_, name);
    const bool duplicate = other != 0 && other != index;
    if (duplicate)
        p_.messageBox(kAccountExists, this);
    // An empty Passwd field keeps what the keyring holds.
    if (name.empty() || host.empty() || user.empty() || (secret.empty() && !keyring)) {
        p_.messageBox(kFillAllFields, this);
        return false;
    }
    if (duplicate)
        return false;

    TPOPAcc acc = current;
    acc.acc_name = name;
    acc.host_name = host;
    acc.user_name = user;
    AccountAuth after = auth;
    if (auth.source == SecretSource::Password)
        after.password = secret;
    else if (auth.source == SecretSource::Command)
        after.command = secret;
    acc.password = AccountAuthField(after);
    std::string why;
    if (!AccountStorable(acc, &why)) {
        p_.messageBox(why, this);
        return false;
    }

    // A password typed for the keyring goes there; a new name or host takes
    // the kept one along.
    const bool moved = name != current.acc_name || host != current.host_name;
    const bool toKeyring = keyring && (!secret.empty() || moved);
    if (toKeyring) {
        std::string password = secret;
        if (password.empty()) {
            const auto kept = LookupWaiting(this, current.acc_name, current.host_name, &why);
            if (!kept) {
                p_.messageBox(why + kNotStored, this);
                return false;
            }
            password = *kept;
        }
        if (!StoreWaiting(this, name, host, password, &why)) {
            p_.messageBox(why + kNotStored, this);
            return false;
        }
    }

    const TableBefore before(c_);
    const std::string oldName = current.acc_name, oldHost = current.host_name;
    current = acc;
    if (!SaveAccounts()) {
        before.restore(c_);
        if (toKeyring && moved)
            RemoveWaiting(this, name, host);
        return false;
    }
    if (toKeyring && moved)
        RemoveWaiting(this, oldName, oldHost);
    edits_.erase(oldName);
    if (shownAccount_ == oldName)
        shownAccount_ = name;
    markAccountItem(index);
    return true;
}

bool TConfig::storeKeptEdits()
{
    keepAccountEdit();
    const auto kept = edits_;
    for (const auto& [name, edit] : kept) {
        const int index = accountIndex(c_, name);
        if (index == 0)
            continue;
        if (!storeAccountEdit(index, edit)) {
            // Shown where it can be mended.
            AccBtnClick();
            LstAcc->setCurrentRow(index - 1);
            return false;
        }
    }
    return true;
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
        for (int i = 1; i <= c_.AccCount; ++i) {
            LstAcc->addItem(QString());
            markAccountItem(i);
        }
    }
    shownAccount_.clear();
    updateAccountButtons();
    NAccount->clear();
    HostTxt->clear();
    UserName->clear();
    Password->clear();
    showSignIn(AccountAuth{});
}

void TConfig::AddAccClick()
{
    if (accountFieldHoldsLineBreak())
        return;
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
    if (auth.source == SecretSource::Keyring && !StoreWaiting(this, name, host, password, &why)) {
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
            RemoveWaiting(this, name, host);
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

void TConfig::SaveAccClick()
{
    const int sel = selectedAccount();
    if (sel == 0)
        return;
    keepAccountEdit();
    if (storeAccountEdit(sel, typedAccount()))
        LstAccClick();
}

void TConfig::DelAccClick()
{
    const int sel = selectedAccount();
    if (sel == 0)
        return;
    const std::string name = c_.Accounts[size_t(sel)].acc_name;
    const TableBefore before(c_);
    for (int i = sel; i < c_.AccCount; ++i)
        c_.Accounts[size_t(i)] = c_.Accounts[size_t(i + 1)];
    // The freed slot keeps no copy of the last account (nor its password).
    c_.Accounts[size_t(c_.AccCount)] = TPOPAcc{};
    --c_.AccCount;
    const bool saved = SaveAccounts();
    if (!saved)
        before.restore(c_); // still in the file: still in the list, still selected
    else
        edits_.erase(name);
    RefreshAccountList();
    if (!saved)
        LstAcc->setCurrentRow(sel - 1);
}

void TConfig::LstAccClick()
{
    const int sel = selectedAccount();
    if (sel == 0)
        return;
    // What was typed for the account shown so far stays with it until saved.
    keepAccountEdit();
    const TPOPAcc& acc = c_.Accounts[size_t(sel)];
    showSignIn(ReadAccountAuth(acc.password));
    const auto kept = edits_.find(acc.acc_name);
    showAccount(kept != edits_.end() ? kept->second : storedAccount(sel));
    shownAccount_ = acc.acc_name;
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
    markAccountItem(sel);
}

void TConfig::SignInChanged()
{
    const auto source = static_cast<SecretSource>(SecretBox->currentIndex());
    AccountAuth chosen;
    chosen.source = source;
    chosen.mechanism = static_cast<AuthMechanism>(MechBox->currentIndex());
    showSignIn(chosen);
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
    if (accountFieldHoldsLineBreak())
        return showSignIn(before);
    const std::string typed = bytes(Password);
    std::string why;
    switch (source) {
    case SecretSource::Password:
        if (before.source == SecretSource::Keyring) {
            const auto kept = LookupWaiting(this, acc.acc_name, acc.host_name, &why);
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
            if (!StoreWaiting(this, acc.acc_name, acc.host_name, password, &why))
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
        RemoveWaiting(this, acc.acc_name, acc.host_name);
    // The Passwd field now shows the secret as stored; with the same source,
    // a password typed but not saved stays there.
    if (source != before.source)
        Password->setText(text(shownSecret(after)));
    LstAccClick();
}

void TConfig::ChkActClick() { setSelectedInactive(false); }
void TConfig::ChkInactClick() { setSelectedInactive(true); }

} // namespace pelko
