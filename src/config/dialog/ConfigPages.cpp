// Showing the dialog, switching pages, OK and Cancel, and the options that
// go to Pelko.ini.
#include "config/Autostart.h"
#include "config/IniLookup.h"
#include "config/SettingsFile.h"
#include "config/dialog/ConfigDialog.h"
#include "platform/FatalEnd.h"
#include "skin/SkinInfo.h"
#include "skin/qt/ImgBtn.h"

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

#include <cstdint>
#include <cstdlib>
#include <unistd.h>

namespace pelko {

namespace {

std::string bytes(const QLineEdit* e) { return e->text().toUtf8().toStdString(); }

std::string autostartFile()
{
    return AutostartFile([](const char* name) -> const char* { return std::getenv(name); });
}

QString shown(const std::string& value)
{
    return value == kNone ? QString() : QString::fromUtf8(value.c_str());
}

} // namespace

bool TConfig::guarded(const std::function<void()>& action)
{
    try {
        action();
        return true;
    } catch (const FatalEnd& e) {
        p_.fatalEnd(e.what());
    } catch (const std::exception& e) {
        p_.messageBox(e.what(), this);
    }
    return false;
}

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
    // Enter adds an account on the Accounts page and confirms elsewhere.
    if (panel == PopPan)
        AddAcc->setDefault(true);
    else
        OK->setDefault(true);
}

void TConfig::OptBtnClick() { showPanel(OptPan, OptBtn); }
void TConfig::AccBtnClick() { showPanel(PopPan, AccBtn); }
void TConfig::SkinBtnClick() { showPanel(SkinPan, SkinBtn); }
void TConfig::InfoBtnClick() { showPanel(InfoPan, InfoBtn); }

void TConfig::LoadControls()
{
    const Settings& s = c_.settings;
    ChkMail->setChecked(s.run_my_client);
    MailClient->setText(shown(s.my_mail_client));
    ChkMin->setChecked(s.autocheck);
    ChkAuto->setChecked(s.autoconnect);
    // The arrows hold a 16-bit position, kept within 1 to 99.
    Min->setValue(static_cast<int16_t>(s.minutes));
    ChkSnd->setChecked(s.playsnd);
    ChkTray->setChecked(s.icon_tray);
    SndFile->setText(shown(s.wavsnd));
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
    SettingsLines l;
    l.current_skin = infSkDir_;
    l.autocheck = ChkMin->isChecked();
    l.autoconnect = ChkAuto->isChecked();
    l.header_only = ChkHead->isChecked();
    l.ontop = host_.OnTopChecked();
    l.minutes = Min->value();
    l.posX = host_.MainLeft();
    l.posY = host_.MainTop();
    l.playsnd = ChkSnd->isChecked();
    l.wavsnd = bytes(SndFile);
    l.icon_tray = ChkTray->isChecked();
    l.run_my_client = ChkMail->isChecked();
    l.my_mail_client = bytes(MailClient);
    l.notify = ChkNotify->isChecked();
    return guarded([&] { SaveSettingsFile(c_.settingsFile(), l); });
}

void TConfig::OKClick()
{
    // A settings file that could not be written keeps the dialog open: the
    // main window would otherwise rebuild from the old file and drop the
    // user's changes silently.
    if (!SaveSettings())
        return;
    // The autostart entry is touched only when the box was changed, so that
    // an entry the user edited stays as it is.
    const std::string entry = autostartFile();
    const bool on = ChkStart->isChecked();
    if (on != (::access(entry.c_str(), F_OK) == 0) &&
        !guarded([&] {
            SetAutostart(entry, on, QCoreApplication::applicationFilePath().toUtf8().toStdString());
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
