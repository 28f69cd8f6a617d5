#pragma once
// The unique ids each account listed at its last successful check, so that
// a check can tell which messages are new (not merely that the count went
// up), also across a restart: the table is kept in a small state file.
#include "config/Commun.h"
#include "wire/Pop3.h"

#include <map>
#include <string>
#include <unordered_set>
#include <vector>

namespace pelko {

class SeenIds {
public:
    // Name of the state file in the settings directory.
    static constexpr const char* kFileName = "Pelko.seen";

    // What identifies an account's mailbox: its name, server and user.
    static std::string Key(const TPOPAcc& account);

    // Records listing as what the mailbox holds now and returns its entries
    // whose ids were not on record. For a mailbox not on record yet that is
    // all of them when unknownIsNew, else none.
    std::vector<TWirePOP3::ListedId> Update(const std::string& key,
                                            const std::vector<TWirePOP3::ListedId>& listing,
                                            bool unknownIsNew);

    // Reads the state file. A missing, damaged or oversized file reads as
    // nothing seen yet; nothing is raised.
    void Load(const std::string& path);
    // Writes the state file atomically (FileWriteError when it cannot).
    void Save(const std::string& path);
    // Something was recorded since the last Load or Save.
    bool Changed() const { return changed_; }

    // The file bytes, as Save writes them (for Load to read back).
    std::string Serialise() const;
    void Parse(const std::string& bytes);

private:
    std::map<std::string, std::unordered_set<std::string>> table_;
    bool changed_ = false;
};

} // namespace pelko
