#pragma once
// The accounts of an Accounts.ini, read the way the program's loader reads
// them (same lookup, same unscrambling), without needing a Pelko.ini.
#include "config/AccountSections.h"

#include <string>

namespace pelko::cli {

// Reads dir + "Accounts.ini" (dir ends in "/") into records 1..count. False,
// with the reason in problem, when there is nothing to read there: the
// folder or the file is missing, is no folder or no file, is bigger than
// Pelko reads, cannot be read, or is refused as another user's
// (TrustedFiles.h).
bool ReadAccounts(const std::string& dir, AccountTable& accounts, int& count, std::string& problem);

// The record index that names no account (records start at 1).
constexpr int kNoAccount = 0;

// Record index of the account named name (exact), kNoAccount when none.
int FindAccount(const AccountTable& accounts, int count, const std::string& name);
// First account that is not inactive, kNoAccount when none.
int FirstActiveAccount(const AccountTable& accounts, int count);

} // namespace pelko::cli
