#pragma once
// The configuration dialog: options, the mailbox accounts, the skin (with a
// live preview on the main window) and the credits. Account changes are
// written to Accounts.ini at once; options only by OK.
#include "config/Commun.h"
#include "configdialog/ConfigHost.h"
#include "platform/HandlerGuard.h"
#include "platform/Platform.h"

#include <QDialog>

#include <functional>
#include <map>
#include <string>

class QCheckBox;
class QGroupBox;
class QLabel;
class QComboBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QToolButton;
class QWidget;

namespace pelko {

struct AccountAuth;
class LinkLabel;
class TImgBtn;

class TConfig : public QDialog {
    Q_OBJECT
public:
    // exec() results: OK and Cancel (any other way of closing counts as Cancel).
    static constexpr int kModalOk = 1;
    static constexpr int kModalCancel = 2;

    TConfig(Commun& c, Platform& p, ConfigHost& host, QWidget* parent = nullptr);
    ~TConfig() override;

    // Used by the main window at program close: refill the controls from the
    // settings, then write Pelko.ini from them. SaveSettings reports a write
    // failure in a message box and returns false.
    void LoadControls();
    bool SaveSettings();
    // Writes Accounts.ini from the account table; reports a failure the same way.
    bool SaveAccounts();

    // Handlers, public so that the main window and tests can drive them.
    void FormShow();
    void OKClick();
    void CancelClick();
    void OptBtnClick();
    void AccBtnClick();
    void SkinBtnClick();
    void InfoBtnClick();
    void AddAccClick();
    // Stores what the fields show into the account selected in the list.
    void SaveAccClick();
    void DelAccClick();
    void LstAccClick();
    void ChkActClick();
    void ChkInactClick();
    // The sign-in choices changed for the account selected: applied at once.
    void SignInChanged();
    void BrowseClick();
    void SndBrClick();
    void Button1Click();
    void SkemailClick();
    void SkWebClick();
    void NRQClick();
    void OpenWeb(const QString& address);
    void OpenMail();

    bool skinChanged() const { return SkinChanged; }
    // The skin directory the Skin Info page shows (what OK writes as current_skin).
    const std::string& shownSkinDir() const { return infSkDir_; }

    // Controls, named as in the program's window description.
    QWidget *Panel1 = nullptr, *OptPan = nullptr, *PopPan = nullptr, *SkinPan = nullptr,
            *InfoPan = nullptr;
    TImgBtn *OptBtn = nullptr, *AccBtn = nullptr, *SkinBtn = nullptr, *InfoBtn = nullptr;
    QCheckBox *ChkAuto = nullptr, *ChkMin = nullptr, *ChkHead = nullptr, *ChkTray = nullptr,
              *ChkSnd = nullptr, *ChkMail = nullptr, *ChkNotify = nullptr;
    // Start with the desktop session: shows whether the autostart entry
    // exists; OK writes or removes it.
    QCheckBox* ChkStart = nullptr;
    QSpinBox* Min = nullptr; // the minutes edit with its up-down arrows
    QLineEdit *SndFile = nullptr, *MailClient = nullptr;
    QPushButton *SndBr = nullptr, *Button1 = nullptr;
    QLineEdit *NAccount = nullptr, *HostTxt = nullptr, *UserName = nullptr, *Password = nullptr;
    QListWidget* LstAcc = nullptr;
    QRadioButton *ChkAct = nullptr, *ChkInact = nullptr;
    // Where the secret comes from (password, desktop keyring, token command)
    // and the sign-in mechanism (automatic, PLAIN, XOAUTH2, OAUTHBEARER).
    QComboBox *SecretBox = nullptr, *MechBox = nullptr;
    // Beside the Host field: a menu of the protocol (POP3, IMAP) and the
    // connection (TLS, STARTTLS, plain), written into the field as its form.
    QToolButton* ServerBtn = nullptr;
    QPushButton *AddAcc = nullptr, *SaveAcc = nullptr, *DelAcc = nullptr;
    QGroupBox* InfSk = nullptr;
    QLabel *SkName = nullptr, *SkAuthor = nullptr, *SkInfo = nullptr;
    LinkLabel *Skemail = nullptr, *SkWeb = nullptr;
    QPushButton* Browse = nullptr;
    QPushButton *OK = nullptr, *Cancel = nullptr;

protected:
    void showEvent(QShowEvent* e) override;
    void reject() override; // Escape and the title-bar close box: like Cancel

private:
    void buildPanelBar();
    QWidget* buildOptionsPanel();
    QWidget* buildAccountsPanel();
    // Puts ServerBtn beside the Host field (in the account grid's row).
    void buildServerChoice(QWidget* info);
    QWidget* buildSkinPanel();
    QWidget* buildCreditsPanel();

    void HideAllPanels();
    void UncheckPanelButtons();
    void showPanel(QWidget* panel, TImgBtn* button);
    void RefreshAccountList();
    // What the four account fields hold, for one account edited but not saved yet.
    struct AccountEdit {
        QString name, host, user, secret;
        bool operator==(const AccountEdit& o) const
        {
            return name == o.name && host == o.host && user == o.user && secret == o.secret;
        }
    };
    AccountEdit typedAccount() const;
    AccountEdit storedAccount(int index) const;
    void showAccount(const AccountEdit& e);
    // Keeps what the fields hold for the account they show, when it differs
    // from the table, so that choosing another account loses nothing.
    void keepAccountEdit();
    // Checks and stores an edit into account `index`; false (after a box) when refused.
    bool storeAccountEdit(int index, const AccountEdit& e);
    // Stores the edits kept for accounts other than the one shown; false when one is refused.
    bool storeKeptEdits();
    // The list item of account `index` shows its name, and whether it is inactive.
    void markAccountItem(int index);
    // Save takes Enter while an account is selected, Add otherwise.
    void updateAccountButtons();
    // True (after a box) when one of the account fields holds a line break.
    bool accountFieldHoldsLineBreak();
    // Sets the secret source box, the mechanism box and the Passwd field's
    // echo to how auth signs in.
    void showSignIn(const AccountAuth& auth);
    // Shows the information of a skin file; throws when it cannot be read,
    // leaving the page as it was.
    void ReadSkinInfo(const std::string& skinIniPath);
    void setShownSkinDir(const std::string& dir);
    void clearSkinInfo();
    void uncheckStatusButtons();
    int selectedAccount() const; // 1-based, 0 when none
    void setSelectedInactive(bool inactive);
    void openLink(const std::string& address);
    // Runs an action; an error it raises is shown in a message box over the
    // dialog and ends the action there (a fatal one ends the program).
    bool guarded(const std::function<void()>& action) { return RunGuarded(p_, action, this); }

    Commun& c_;
    Platform& p_;
    ConfigHost& host_;
    bool SkinChanged = false;
    std::string infSkDir_;
    QLabel* PasswordLabel = nullptr; // "Passwd :", or "Command :" for a token command
    std::string shownAccount_;                  // the account the fields show ("" for none)
    std::map<std::string, AccountEdit> edits_; // unsaved edits, by account name
};

} // namespace pelko
