#pragma once
// The accounts of an Accounts.ini, read the way the program's loader reads
// them (same lookup, same unscrambling), without needing a Pelko.ini.
#include "config/AccountSections.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace pelko::cli {

// Reads dir + "Accounts.ini" (dir ends in "/") into records 1..count. False,
// with the reason in problem, when there is nothing to read there: the
// folder or the file is missing, is no folder or no file, is bigger than
// Pelko reads, cannot be read, or is refused as another user's
// (TrustedFiles.h).
bool ReadAccounts(const std::string& dir, AccountTable& accounts, int& count, std::string& problem);

// A folder as given, ending in "/"; empty means DefaultDir() (where
// Accounts.ini is read without --dir).
std::string WithSlash(std::string dir);

// ReadAccounts, with a failure said on err ("pelko-check: " and the reason).
bool ReadAccountsOrSay(const std::string& dir, AccountTable& accounts, int& count, std::ostream& err);

// The record index that names no account (records start at 1).
constexpr int kNoAccount = 0;

// Record index of the account named name (exact), kNoAccount when none.
int FindAccount(const AccountTable& accounts, int count, const std::string& name);
// FindAccount, with a missing account said on err (the names as the terminal may show them).
int FindAccountOrSay(const AccountTable& accounts, int count, const std::string& name, const std::string& dir,
                     std::ostream& err);
// First account that is not inactive, kNoAccount when none.
int FirstActiveAccount(const AccountTable& accounts, int count);

// The accounts a check goes through: the one named (active or not), or every
// active one. False, said on err, when there is none; named is then true
// when the account named is missing (a usage error).
bool ChooseAccounts(const AccountTable& accounts, int count, const std::string& name, const std::string& dir,
                    std::vector<int>& chosen, bool& named, std::ostream& err);

} // namespace pelko::cli
