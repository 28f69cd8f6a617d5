// The Skin Info page and the live preview of another skin.
#include "configdialog/ConfigDialog.h"
#include "configdialog/LinkLabel.h"
#include "skin/SkinInfo.h"

#include <QGroupBox>
#include <QLabel>

namespace pelko {

namespace {

const std::string kSkinFilter = "Ini files (*.ini) | *.ini";

QString text(const std::string& s) { return QString::fromUtf8(s.c_str()); }

} // namespace

void TConfig::setShownSkinDir(const std::string& dir)
{
    infSkDir_ = dir;
    // A group box title takes "&" as a mnemonic; a directory name may hold one.
    QString title = text(dir);
    title.replace(QLatin1Char('&'), QLatin1String("&&"));
    InfSk->setTitle(title);
}

void TConfig::clearSkinInfo()
{
    for (QLabel* l : {SkName, SkAuthor, SkInfo, static_cast<QLabel*>(Skemail), static_cast<QLabel*>(SkWeb)})
        l->clear();
}

void TConfig::ReadSkinInfo(const std::string& skinIniPath)
{
    const SkinInfo info = ::pelko::ReadSkinInfo(skinIniPath);
    setShownSkinDir(info.dir);
    SkName->setText(text(info.name));
    SkAuthor->setText(text(info.author));
    Skemail->setText(text(info.mail));
    SkWeb->setText(text(info.web));
    SkInfo->setText(text(info.info));
}

void TConfig::BrowseClick()
{
    // The skins sit side by side: start in the folder holding the current one.
    std::string skins = c_.settings.SkinDir;
    while (!skins.empty() && skins.back() == '/')
        skins.pop_back();
    skins = skins.substr(0, skins.rfind('/') + 1);
    const auto chosen = p_.openFileDialog(kSkinFilter, {skins, false}, this);
    if (!chosen)
        return;
    // An unreadable file is reported and leaves the page as it was, so that
    // OK cannot name a skin that cannot be read.
    if (!guarded([&] { ReadSkinInfo(*chosen); }))
        return;

    // Preview: the main window rebuilds itself with the picked directory,
    // then the settings are as they were. They are put back even when the
    // rebuild fails, or every later rebuild would keep the previewed skin.
    struct PutBack {
        Commun& c;
        std::string skinDir;
        ~PutBack()
        {
            c.settings.SkinDir = skinDir;
            c.TestMode.clear();
        }
    } putBack{c_, c_.settings.SkinDir};
    c_.settings.SkinDir = infSkDir_;
    c_.TestMode = "test";
    SkinChanged = true; // set first: a half-applied preview is taken back too
    guarded([this] { host_.RebuildMainWindow(); });
}

} // namespace pelko
