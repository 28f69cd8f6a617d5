// The settings and account loader over arbitrary file bytes. The same bytes
// serve as Pelko.ini and as Accounts.ini (every lookup scans the whole file
// by substring, so one input can hold both). Beyond "no crash": the loader's
// promises about what it hands over, and that accounts it accepted survive a
// save and a reload unchanged.
#include "FuzzSupport.h"
#include "config/IniLookup.h"
#include "config/Scramble.h"
#include "config/SettingsFile.h"
#include "platform/FatalEnd.h"

#include <string>
#include <sys/stat.h>

using namespace pelko;

namespace {

bool sameAccount(const TPOPAcc& a, const TPOPAcc& b)
{
    return a.acc_name == b.acc_name && a.host_name == b.host_name && a.user_name == b.user_name &&
           a.password == b.password && a.inactive == b.inactive;
}

void checkLoaded(const Commun& c, const MainValues& mv)
{
    FUZZ_CHECK(c.AccCount >= 0 && c.AccCount <= kMaxAccounts);
    FUZZ_CHECK(!c.settings.SkinDir.empty() && c.settings.SkinDir.back() == '/');
    for (int n = 1; n <= c.AccCount; ++n) {
        const TPOPAcc& a = c.Accounts[size_t(n)];
        FUZZ_CHECK(!a.acc_name.empty() && a.acc_name != kNone);
        FUZZ_CHECK(!a.host_name.empty() && !a.user_name.empty() && !a.password.empty());
    }
    if (mv.HasActiveAccount) {
        FUZZ_CHECK(mv.CurAcc >= 1 && mv.CurAcc <= c.AccCount);
        const TPOPAcc& a = c.Accounts[size_t(mv.CurAcc)];
        FUZZ_CHECK(!a.inactive);
        FUZZ_CHECK(c.FirstActiveAcc == mv.CurAcc);
    }
}

// Accounts the writer accepts must read back exactly through the file route.
void checkSaveRoundTrip(const Commun& loaded)
{
    for (int n = 1; n <= loaded.AccCount; ++n)
        if (!AccountStorable(loaded.Accounts[size_t(n)], nullptr))
            return;
    Commun again;
    again.ProgramDir = fuzz::ScratchDir() + "saved/";
    fuzz::WriteFile(again.settingsFile(), std::string("current_skin = /s/\r\n"));
    try {
        SaveAccountsFile(again.accountsFile(), loaded);
    } catch (const FileWriteError& e) {
        fuzz::Fail(e.what(), __LINE__); // accepted account by account, refused as a table
    }
    MainValues mv;
    LoadSettingsAndAccounts(again, mv);
    FUZZ_CHECK(again.AccCount == loaded.AccCount);
    for (int n = 1; n <= loaded.AccCount; ++n)
        FUZZ_CHECK(sameAccount(again.Accounts[size_t(n)], loaded.Accounts[size_t(n)]));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool ready = [] {
        const std::string saved = fuzz::ScratchDir() + "saved";
        return mkdir(saved.c_str(), 0700) == 0;
    }();
    FUZZ_CHECK(ready);
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    Commun c;
    c.ProgramDir = fuzz::ScratchDir();
    fuzz::WriteFile(c.settingsFile(), data, size);
    fuzz::WriteFile(c.accountsFile(), data, size);
    MainValues mv;
    try {
        LoadSettingsAndAccounts(c, mv);
        checkLoaded(c, mv);
        checkSaveRoundTrip(c);
    } catch (const FatalEnd& e) {
        FUZZ_CHECK(e.what() == kPelkoIniNotFound);
    } catch (const ConversionError&) {
        // a number that is no number: reported to the user as such
    }

    // The line lookup with a section and key taken from the input itself.
    const std::vector<std::string> lines = SplitIniLines(bytes);
    for (const std::string& line : lines)
        FUZZ_CHECK(line.find('\r') == std::string::npos && line.find('\x1a') == std::string::npos);
    if (lines.size() >= 2) {
        const std::string value = FindInLines(lines, lines[0], lines[1]);
        FUZZ_CHECK(value.empty() || value[0] != ' ');
        int32_t x = 0, y = 0;
        try {
            TraiteInt(value, x, y);
        } catch (const ConversionError&) {
        }
    }

    // Scrambling gives every password back, whatever its bytes.
    const std::string password = bytes.substr(0, 300);
    const std::string scrambled = Scramble(password, kPasswordKey);
    FUZZ_CHECK(scrambled.size() == password.size());
    FUZZ_CHECK(Unscramble(scrambled, kPasswordKey) == password);
    return 0;
}
