// Showing the dialog, switching pages, OK and Cancel, and the options that
// go to Pelko.ini.
#include "config/Autostart.h"
#include "config/FileLocations.h"
#include "config/SettingsFile.h"
#include "configdialog/ConfigDialog.h"
#include "skin/SkinInfo.h"
#include "skinqt/ImgBtn.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSpinBox>

#include <unistd.h>

namespace pelko {

namespace {

std::string bytes(const QLineEdit* e) { return e->text().toUtf8().toStdString(); }

std::string autostartFile()
{
    return AutostartFile(ProcessEnvironment());
}

} // namespace

void TConfig::showEvent(QShowEvent* e)
{
    if (!e->spontaneous()) {
        if (QScreen* s = screen() ? screen() : QGuiApplication::primaryScreen())
            move(s->availableGeometry().center() - rect().center());
        FormShow();
    }
    QDialog::showEvent(e);
}

void TConfig::FormShow()
{
    showPanel(OptPan, OptBtn);
    uncheckStatusButtons();
    NAccount->clear();
    HostTxt->clear();
    UserName->clear();
    Password->clear();
    LoadControls();
    edits_.clear();
    RefreshAccountList();
    SkinChanged = false;
}

void TConfig::HideAllPanels()
{
    for (QWidget* pan : {OptPan, PopPan, SkinPan, InfoPan})
        pan->hide();
}

void TConfig::UncheckPanelButtons()
{
    for (TImgBtn* b : {OptBtn, AccBtn, SkinBtn, InfoBtn})
        b->setChecked(false);
}

void TConfig::showPanel(QWidget* panel, TImgBtn* button)
{
    HideAllPanels();
    UncheckPanelButtons();
    panel->show();
    button->setChecked(true);
    // On the Accounts page Enter adds an account, or saves the one selected;
    // elsewhere it confirms.
    if (panel == PopPan)
        updateAccountButtons();
    else
        OK->setDefault(true);
}

void TConfig::OptBtnClick() { showPanel(OptPan, OptBtn); }
void TConfig::AccBtnClick() { showPanel(PopPan, AccBtn); }
void TConfig::SkinBtnClick() { showPanel(SkinPan, SkinBtn); }
void TConfig::InfoBtnClick() { showPanel(InfoPan, InfoBtn); }

void TConfig::LoadControls()
{
    const Settings s = ShownSettings(c_.settings);
    ChkMail->setChecked(s.run_my_client);
    MailClient->setText(QString::fromUtf8(s.my_mail_client.c_str()));
    ChkMin->setChecked(s.autocheck);
    ChkAuto->setChecked(s.autoconnect);
    Min->setValue(s.minutes);
    ChkSnd->setChecked(s.playsnd);
    ChkTray->setChecked(s.icon_tray);
    SndFile->setText(QString::fromUtf8(s.wavsnd.c_str()));
    ChkHead->setChecked(s.header_only);
    ChkNotify->setChecked(s.notify);
    ChkStart->setChecked(::access(autostartFile().c_str(), F_OK) == 0);
    {
        const QSignalBlocker block(LstAcc);
        LstAcc->clear();
    }
    // The page names the current skin's directory even when its file cannot
    // be read; the failure is reported and the rest of the dialog works.
    const std::string file = s.SkinDir + "skin.ini";
    setShownSkinDir(DirectoryPart(file));
    clearSkinInfo();
    guarded([&] { ReadSkinInfo(file); });
}

bool TConfig::SaveSettings()
{
    Settings s;
    s.SkinDir = infSkDir_;
    s.autocheck = ChkMin->isChecked();
    s.autoconnect = ChkAuto->isChecked();
    s.header_only = ChkHead->isChecked();
    s.minutes = Min->value();
    s.playsnd = ChkSnd->isChecked();
    s.wavsnd = bytes(SndFile);
    s.icon_tray = ChkTray->isChecked();
    s.run_my_client = ChkMail->isChecked();
    s.my_mail_client = bytes(MailClient);
    s.notify = ChkNotify->isChecked();
    const SettingsLines l = SettingsLinesFor(s, host_.OnTopChecked(), host_.MainLeft(), host_.MainTop());
    return guarded([&] { SaveSettingsFile(c_.settingsFile(), l); });
}

void TConfig::OKClick()
{
    // An account edited but not saved is saved now, so that OK keeps what
    // was typed. A settings file that could not be written keeps the dialog
    // open: the main window would otherwise rebuild from the old file and
    // drop the user's changes silently.
    if (!storeKeptEdits() || !SaveSettings())
        return;
    // The autostart entry is touched only when the box was changed, so that
    // an entry the user edited stays as it is.
    const std::string entry = autostartFile();
    const bool on = ChkStart->isChecked();
    if (on != (::access(entry.c_str(), F_OK) == 0) &&
        !guarded([&] {
            SetAutostart(entry, on, ExecutablePath());
        }))
        return;
    done(kModalOk);
}

void TConfig::CancelClick()
{
    c_.TestMode.clear();
    if (SkinChanged) {
        SkinChanged = false;
        guarded([this] { host_.RebuildMainWindow(); });
    }
    done(kModalCancel);
}

void TConfig::reject() { CancelClick(); }

} // namespace pelko
