#pragma once
// The accounts of an Accounts.ini, read the way the program's loader reads
// them (same lookup, same unscrambling), without needing a Pelko.ini.
#include "config/AccountSections.h"

#include <string>

namespace pelko::cli {

// Reads dir + "Accounts.ini" (dir ends in "/"); returns the number of
// accounts in records 1..n. A missing file gives no accounts.
int ReadAccounts(const std::string& dir, AccountTable& accounts);

// The record index that names no account (records start at 1).
constexpr int kNoAccount = 0;

// Record index of the account named name (exact), kNoAccount when none.
int FindAccount(const AccountTable& accounts, int count, const std::string& name);
// First account that is not inactive, kNoAccount when none.
int FirstActiveAccount(const AccountTable& accounts, int count);

} // namespace pelko::cli
