#pragma once
// Reading the [accountN] sections, shared by the loader (over the file) and
// by the account writer, which reads its own output back before writing it.
#include "config/Commun.h"

#include <array>
#include <functional>
#include <string>

namespace pelko {

using AccountTable = std::array<TPOPAcc, kMaxAccounts + 1>;

// Looks up `key` in the header line `section` of Accounts.ini.
using SectionLookup = std::function<std::string(const std::string& section, const std::string& key)>;

// "[account" + n + "]": the header the reader asks for (the writer spells it "[Account" + n + "]").
std::string AccountSectionName(int n);

// Reads sections 1 to 10 in turn: stops at the first one without a name
// (empty or "none"), skips one with an empty field, and stores every other
// account in records 1, 2, ... in file order. Returns their count; records
// past it are left as they were.
int ReadAccountSections(const SectionLookup& lookup, AccountTable& accounts);

} // namespace pelko
