#pragma once
// Pelko.ini (options) and Accounts.ini (mailboxes, scrambled passwords):
// the first half of the main window's loader and both writers. Every value
// is read through FindInSkin, so the written layout is part of the format.
#include "config/Commun.h"
#include "config/SafeFile.h"

#include <cstdint>
#include <string>

namespace pelko {

// Shown (then the program ends) when Pelko.ini has no usable current_skin line.
inline const std::string kPelkoIniNotFound =
    "PELKO.INI not found !\r\rCreate an Pelko.ini file with the line  : \rcurrent_skin=your skin dir.";

// What the loader hands over to the main window.
struct MainValues {
    bool OnTopSetting = false;   // the ontop setting (the On Top menu item is checked the same way)
    int32_t PosX = 10, PosY = 10;
    bool HasActiveAccount = false;
    int CurAcc = 1;              // index of the first active account (left past the last when none)
};

// First half of the loader: reads c.settingsFile() and c.accountsFile() into c and mv, in a
// fixed order (skin directory, accounts, the other settings). Unless c.TestMode == "test", c.settings.SkinDir comes from current_skin (a "/" is
// appended when missing). Throws FatalEnd with the exact messages, ConversionError for bad numbers.
// HasActiveAccount and CurAcc are reset first. An empty current_skin counts as a missing one.
void LoadSettingsAndAccounts(Commun& c, MainValues& mv);

// The thirteen lines of Pelko.ini (plus one extra line "notify =1"/"notify =0" after them; older
// readers ignore it), CR LF, exactly as listed.
struct SettingsLines {
    std::string current_skin; bool autocheck = false, autoconnect = false, header_only = false,
    ontop = false; int32_t minutes = 1, posX = 10, posY = 10; bool playsnd = false; std::string wavsnd;
    bool icon_tray = false, run_my_client = false; std::string my_mail_client; bool notify = false;
};
std::string SettingsFileText(const SettingsLines&);

// The range of the check period the configuration dialog offers, in minutes.
constexpr int32_t kMinMinutes = 1, kMaxMinutes = 99;
// The options as the configuration dialog shows them: "none" (no sound file, no mail client) as an
// empty text, the minutes as its arrows hold them (a 16-bit position within the range above).
Settings ShownSettings(const Settings& s);
// The lines for the options as they stand in s (its SkinDir as current_skin), with the main
// window's On Top and place.
SettingsLines SettingsLinesFor(const Settings& s, bool ontop, int32_t posX, int32_t posY);
// Atomic, throws FileWriteError; also refuses (FileWriteError, nothing written) a text value
// holding a carriage return or byte 26, which would cut the file.
void SaveSettingsFile(const std::string& path, const SettingsLines&);
std::string AccountsFileText(const Commun&);                            // seven lines per account
// Atomic, mode 0600. Refuses (FileWriteError, nothing written) a table that would not read back
// exactly as it is, or with a password of 256 characters or more.
void SaveAccountsFile(const std::string& path, const Commun&);

// Whether a password can be stored so that it reads back unchanged; when not, why (a message for
// the user, shown by the configuration dialog when the account is added).
bool PasswordStorable(const std::string& password, std::string* why);

// The same for a whole account: all four fields filled, and each reading back unchanged from
// Accounts.ini (no line breaks, no leading blank, no value that captures a later key's lookup).
bool AccountStorable(const TPOPAcc& account, std::string* why);

} // namespace pelko
