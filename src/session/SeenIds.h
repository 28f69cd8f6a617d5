#pragma once
// The unique ids each account listed at its last successful check, so that
// a check can tell which messages are new (not merely that the count went
// up), also across a restart: the table is kept in a small state file,
// shared by Pelko and pelko-check.
//
// A listing whose ids hold only with a validity (IMAP's UIDVALIDITY) is kept
// under the account's key with the validity added; a listing with another
// validity takes its place and tells nothing new.
//
// An id is kept as a 64-bit hash of its text (IdHash): eight bytes whatever
// the id's length, and sixteen hexadecimal digits a line in the file. Files
// that hold the ids themselves (the first form of the file) are still read.
#include "config/Commun.h"
#include "session/MailAccount.h"
#include "session/Mailbox.h"

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace pelko {

class SeenIds {
public:
    // Name of the state file in the settings directory, and of the lock
    // file its writers take turns with.
    static constexpr const char* kFileName = "Pelko.seen";
    static constexpr const char* kLockFileName = "Pelko.seen.lock";

    // What the file holds at most, for the writer and the reader alike: ids
    // of all accounts together (two of the longest listings a check keeps),
    // accounts, and bytes of an account's key. To stay within them the
    // writer leaves out whole accounts, the largest first and the ones it
    // has just recorded last; the reader stops there.
    static constexpr size_t kMaxIds = 2 * kMaxListedIds;
    static constexpr size_t kMaxAccounts = 100;
    static constexpr size_t kMaxKeyBytes = 4096;
    // The reader reads no further than this: more than the writer ever
    // makes, and as much as files of the first form could hold.
    static constexpr size_t kMaxFileBytes = size_t(64) << 20;

    // What identifies an account's mailbox: its name, server and user.
    static std::string Key(const TPOPAcc& account);
    static std::string Key(const MailAccount& account);

    // The hash an id is kept as (FNV-1a with a final mix). Part of the file
    // format: it never changes.
    static uint64_t IdHash(std::string_view id);

    // The entries of listing whose ids are not on record for key. For a
    // mailbox not on record yet that is all of them when unknownIsNew, else
    // none. Records nothing.
    std::vector<ListedMessage> NewIn(const std::string& key,
                                           const std::vector<ListedMessage>& listing,
                                           bool unknownIsNew) const;
    // Records listing as what the mailbox holds now.
    void Record(const std::string& key, const std::vector<ListedMessage>& listing);
    // NewIn, then Record.
    std::vector<ListedMessage> Update(const std::string& key,
                                            const std::vector<ListedMessage>& listing,
                                            bool unknownIsNew);
    // The same for a listing valid with validity (see Listing::validity):
    // kept under ValidityKey. When the account is on record with another
    // validity, nothing is new and the listing replaces that record.
    std::vector<ListedMessage> Update(const std::string& key, const std::string& validity,
                                      const std::vector<ListedMessage>& listing, bool unknownIsNew);
    // The key a listing with validity is kept under (key itself without one).
    static std::string ValidityKey(const std::string& key, const std::string& validity);

    // Reads the state file: a regular file only (a link, a pipe or a device
    // reads as nothing seen). A missing or damaged file reads as nothing
    // seen, or as the accounts read whole before the damage; nothing is
    // raised, and the time and memory taken are bounded by the limits above.
    void Load(const std::string& path);
    // Writes the accounts recorded since the last Load or Save into the
    // state file, keeping every other account as the file holds it (another
    // run may have written it meanwhile), with the lock file beside it taken
    // for the time. Accounts found there that are not on record here are
    // taken over. Throws FileWriteError when it cannot (the file is then as
    // it was); a name that is not a regular file is never replaced.
    void Save(const std::string& path);
    // Something was recorded since the last Load or Save.
    bool Changed() const { return !recorded_.empty(); }

    // The file bytes, as Save writes them (for Load to read back).
    std::string Serialise() const;
    void Parse(const std::string& bytes);

    // Accounts on record, and the number of ids kept for one (0 when it is
    // not on record).
    size_t AccountCount() const { return table_.size(); }
    size_t IdCount(const std::string& key) const;

private:
    // Drops the records of the account of key kept with another validity.
    void DropOtherValidities(const std::string& key);
    using Hashes = std::vector<uint64_t>; // sorted, each once
    std::map<std::string, Hashes> table_;
    std::set<std::string> recorded_; // accounts whose record changed since the last Load or Save
};

} // namespace pelko
