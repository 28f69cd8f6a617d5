// Links of the Skin Info and Credits pages, and the two file choosers of the
// Options page. A link opens with the desktop's handler and never closes the
// dialog; one that no program takes is reported in a box.
#include "config/FileLocations.h"
#include "configdialog/ConfigDialog.h"
#include "configdialog/ConfigLinks.h"
#include "configdialog/LinkLabel.h"

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
std::string bytes(const QString& s) { return s.toUtf8().toStdString(); }

const std::string kNotOpened = "This link could not be opened:\r";
const std::string kNoOpener = "\rNo program of this desktop takes it.";
constexpr size_t kShownAddressLength = 200;

} // namespace

std::string ReadmeFile()
{
    // An installed copy has its documentation beside its data:
    // .../share/pelko/ and .../share/doc/pelko/README.md.
    const std::string data = InstalledDataDir(ExecutableDirectory());
    if (data.empty())
        return {};
    const QString readme = QDir::cleanPath(QString::fromUtf8((data + "../doc/pelko/README.md").c_str()));
    return QFileInfo::exists(readme) ? bytes(readme) : std::string();
}

std::string SkinsFolder(const std::string& skinDir)
{
    const std::string installed = InstalledSkinsDir();
    if (!installed.empty())
        return installed;
    // Else the folder that holds the skin in use.
    const QString dir = QString::fromUtf8(skinDir.c_str());
    return dir.isEmpty() ? std::string() : bytes(QFileInfo(QDir::cleanPath(dir)).absolutePath());
}

void TConfig::openLink(const std::string& address)
{
    if (address.empty() || address == "mailto:")
        return; // an empty label opens nothing
    // The dialog stays open: what was changed in it is still to be confirmed
    // or cancelled.
    if (p_.openUrl(address))
        return;
    const std::string shown =
        address.size() > kShownAddressLength ? address.substr(0, kShownAddressLength) + "..." : address;
    p_.messageBox(kNotOpened + shown + kNoOpener, this);
}

void TConfig::SkemailClick()
{
    const std::string mail = bytes(Skemail->text());
    if (!mail.empty())
        openLink("mailto:" + mail);
}

void TConfig::SkWebClick() { openLink(bytes(SkWeb->text())); }
void TConfig::OpenWeb(const QString& address) { openLink(bytes(address)); }
// The makers' own words: the read-me of an installed copy, else the manual.
void TConfig::NRQClick()
{
    const std::string readme = ReadmeFile();
    openLink(readme.empty() ? kManualPage : readme);
}
void TConfig::OpenMail() { openLink(kCheckerManualPage); }

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
