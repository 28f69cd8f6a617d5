#pragma once
// The values the whole program shares: settings, the account table, the
// latest count. One instance, owned by the application and handed to each
// window.
#include <array>
#include <cstdint>
#include <string>

namespace pelko {

struct TPOPAcc {
    std::string acc_name, host_name, user_name, password; // password plain in memory
    bool inactive = false;
};

constexpr int kMaxAccounts = 10;

struct Settings {
    std::string SkinDir; // always ends in "/"
    bool autocheck = false, playsnd = false, autoconnect = false, header_only = false,
         icon_tray = false, run_my_client = false;
    std::string wavsnd = "none", my_mail_client = "none";
    int32_t minutes = 1;
    bool notify = false; // desktop notification on new mail (extra line after the standard ones)
};

struct Commun {
    std::string ProgramDir; // where Pelko.ini and Accounts.ini live; ends in "/"
    Settings settings;
    std::array<TPOPAcc, kMaxAccounts + 1> Accounts{}; // indexed 1..10; [0] unused
    int AccCount = 0;
    int16_t FirstActiveAcc = 0;
    int32_t MsgCount = 0;
    std::string TestMode; // "test" while the configuration dialog previews a skin

    std::string settingsFile() const { return ProgramDir + "Pelko.ini"; }
    std::string accountsFile() const { return ProgramDir + "Accounts.ini"; }
};

} // namespace pelko
