#include "config/AccountSections.h"
#include "config/IniLookup.h"
#include "config/Scramble.h"
#include "config/SettingsFile.h"

#include <sys/stat.h>

namespace pelko {

namespace {

// The scramble loop of the original program counts with one byte.
constexpr size_t kMaxPasswordLength = 255;

bool containsKey(const std::string& value, const char* key)
{
    return LowerAscii(value).find(key) != std::string::npos;
}

// Why one text field of an account would not read back as written, or "".
// `laterKeys` are the keys looked up on lines after this one in its section:
// the substring rule lets this line capture them.
std::string fieldProblem(const std::string& value, const char* label, std::initializer_list<const char*> laterKeys)
{
    if (value.find_first_of("\r\x1a") != std::string::npos)
        return std::string("The ") + label + " contains a carriage return or end-of-file character.";
    if (value[0] == ' ')
        return std::string("The ") + label + " cannot begin with a blank.";
    for (const char* key : laterKeys)
        if (containsKey(value, key))
            return std::string("The ") + label + " cannot contain the text \"" + key + "\".";
    return {};
}

bool sameAccount(const TPOPAcc& a, const TPOPAcc& b)
{
    return a.acc_name == b.acc_name && a.host_name == b.host_name && a.user_name == b.user_name &&
           a.password == b.password && a.inactive == b.inactive;
}

// Reads `text` as the loader would; `back` receives the accounts, the result is their count.
int readBack(const std::string& text, AccountTable& back)
{
    const std::vector<std::string> lines = SplitIniLines(text);
    return ReadAccountSections(
        [&lines](const std::string& section, const std::string& key) {
            return FindInLines(lines, section, key);
        },
        back);
}

const char* const kUnchanged = "This account would not read back unchanged from Accounts.ini.";

} // namespace

bool PasswordStorable(const std::string& password, std::string* why)
{
    std::string reason;
    if (password.size() > kMaxPasswordLength) {
        reason = "The password is too long: at most 255 characters can be stored.";
    } else {
        // The scrambled bytes are written raw: they must neither split nor end
        // the line, nor lose a leading blank, nor capture the inactive line.
        const std::string s = Scramble(password, kPasswordKey);
        if (s.find_first_of("\r\x1a") != std::string::npos || (!s.empty() && s[0] == ' ') ||
            containsKey(s, "inactive"))
            reason = "This password cannot be stored in Accounts.ini. Please choose another password.";
    }
    if (why)
        *why = reason;
    return reason.empty();
}

bool AccountStorable(const TPOPAcc& acc, std::string* why)
{
    std::string reason;
    if (acc.acc_name.empty() || acc.host_name.empty() || acc.user_name.empty() || acc.password.empty())
        reason = "All four fields of an account must be filled in.";
    else if (acc.acc_name == kNone)
        reason = "The account name cannot be \"none\".";
    if (reason.empty())
        reason = fieldProblem(acc.acc_name, "account name", {"host_name", "user_name", "password", "inactive"});
    if (reason.empty())
        reason = fieldProblem(acc.host_name, "host name", {"user_name", "password", "inactive"});
    if (reason.empty())
        reason = fieldProblem(acc.user_name, "user name", {"password", "inactive"});
    if (reason.empty())
        PasswordStorable(acc.password, &reason);
    if (reason.empty()) {
        // Whatever the rules above miss, reading it back tells.
        Commun one;
        one.AccCount = 1;
        one.Accounts[1] = acc;
        AccountTable back{};
        if (readBack(AccountsFileText(one), back) != 1 || !sameAccount(back[1], acc))
            reason = kUnchanged;
    }
    if (why)
        *why = reason;
    return reason.empty();
}

std::string AccountsFileText(const Commun& c)
{
    std::string t;
    auto line = [&t](const std::string& text) { t += text + "\r\n"; };
    for (int n = 1; n <= c.AccCount && n <= kMaxAccounts; ++n) {
        const TPOPAcc& acc = c.Accounts[size_t(n)];
        line("");
        line("[Account" + std::to_string(n) + "]");
        line("acc_name = " + acc.acc_name);
        line("host_name = " + acc.host_name);
        line("user_name = " + acc.user_name);
        line("password = " + Scramble(acc.password, kPasswordKey));
        line(std::string("inactive = ") + (acc.inactive ? "1" : "0"));
    }
    return t;
}

void SaveAccountsFile(const std::string& path, const Commun& c)
{
    auto refuse = [&path](const std::string& reason) {
        throw FileWriteError("Cannot write " + path + ": " + reason);
    };
    if (c.AccCount < 0 || c.AccCount > kMaxAccounts)
        refuse("there can be at most " + std::to_string(kMaxAccounts) + " accounts.");
    std::string why;
    for (int n = 1; n <= c.AccCount; ++n)
        if (!AccountStorable(c.Accounts[size_t(n)], &why))
            refuse("account " + std::to_string(n) + " (\"" + c.Accounts[size_t(n)].acc_name + "\"): " + why);

    // A file too big to read was loaded as no accounts: writing the table
    // over it would lose whatever it holds.
    std::string kept;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !ReadIniBytes(path, kept))
        refuse("the file there is bigger than the " + std::to_string(kMaxIniBytes >> 20) +
               " MiB Pelko reads, or cannot be read; it is left as it is (move it away to start afresh).");

    const std::string text = AccountsFileText(c);
    AccountTable back{};
    const int count = readBack(text, back);
    for (int n = 1; n <= c.AccCount; ++n)
        if (count < n || !sameAccount(back[size_t(n)], c.Accounts[size_t(n)]))
            refuse("account " + std::to_string(n) + " (\"" + c.Accounts[size_t(n)].acc_name + "\"): " +
                   kUnchanged);
    // Scrambled passwords inside: private, however the file was before.
    WriteFileAtomically(path, text, 0600, FileModeRule::Exactly);
}

} // namespace pelko
