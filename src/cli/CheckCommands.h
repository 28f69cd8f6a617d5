#pragma once
// The three things pelko-check does. Each returns its exit status.
#include "cli/CheckOptions.h"
#include "config/AccountSections.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace pelko::cli {

// pelko-check's exit status.
enum ExitStatus : int {
    kExitOk = 0,
    kExitFailed = 1, // a check or fetch failed
    kExitUsage = 2,  // usage error
};

// Logs in to every active account (or only --account, active or not),
// counts, quits; one line "NAME: N" / "NAME: error: TEXT" each, or one
// JSON object.
int RunCheck(const CheckOptions& o, std::ostream& out, std::ostream& err);
// Reads dir's Accounts.ini and chooses the accounts o names (see
// ChooseAccounts): kExitOk, or the exit status with the reason said on err.
int ReadChosenAccounts(const CheckOptions& o, const std::string& dir, AccountTable& accounts,
                       std::vector<int>& chosen, std::ostream& err);

// Fetches message N of --account (default: the first active one) and prints
// the message window's text; saves the attachments with --save-dir.
int RunDump(const CheckOptions& o, std::ostream& out, std::ostream& err);

// The same for a message stored in a file.
int RunParse(const CheckOptions& o, std::ostream& out, std::ostream& err);

// Where Accounts.ini is read without --dir, ending in "/": the folder Pelko
// itself uses (PELKO_DIR, the program's folder, or for an installed copy the
// user's configuration folder).
std::string DefaultDir();

} // namespace pelko::cli
