// Links of the Skin Info and Credits pages, and the two file choosers of the
// Options page.
#include "config/dialog/ConfigDialog.h"
#include "config/dialog/LinkLabel.h"

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>

namespace pelko {

namespace {

const std::string kSoundFilter = "Wav files (*.wav) | *.wav";
const std::string kProgramFilter = "Exe files (*.exe) | *.exe";

// The folder of a file named in a field, when it is there.
std::string FolderOf(const QString& file)
{
    const QFileInfo f(file.trimmed());
    return !file.trimmed().isEmpty() && f.absoluteDir().exists() ? f.absolutePath().toUtf8().toStdString() : "";
}
const std::string kMakerMail = "mailto:team@pelko.example.org";
const std::string kThanksMail = "mailto:thanks@pelko.example.org";

std::string bytes(const QString& s) { return s.toUtf8().toStdString(); }

} // namespace

void TConfig::openLink(const std::string& address)
{
    if (address.empty() || address == "mailto:")
        return; // an empty label opens nothing and keeps the dialog
    p_.openUrl(address);
    // A link closes the dialog as Cancel does, a preview included.
    reject();
}

void TConfig::SkemailClick()
{
    const std::string mail = bytes(Skemail->text());
    if (!mail.empty())
        openLink("mailto:" + mail);
}

void TConfig::SkWebClick() { openLink(bytes(SkWeb->text())); }
void TConfig::OpenWeb(const QString& address) { openLink(bytes(address)); }
void TConfig::NRQClick() { openLink(kMakerMail); }
void TConfig::OpenMail() { openLink(kThanksMail); }

void TConfig::SndBrClick()
{
    if (const auto file = p_.openFileDialog(kSoundFilter, {FolderOf(SndFile->text()), false}, this))
        SndFile->setText(QString::fromUtf8(file->c_str()));
}

void TConfig::Button1Click()
{
    // Programs on Linux have no ".exe": all files are listed from the start,
    // in the folder of the program chosen so far (else where programs live).
    std::string folder = FolderOf(MailClient->text());
    if (folder.empty())
        folder = "/usr/bin";
    if (const auto file = p_.openFileDialog(kProgramFilter, {folder, true}, this))
        MailClient->setText(QString::fromUtf8(file->c_str()));
}

} // namespace pelko
