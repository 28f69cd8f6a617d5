#include "session/SeenIds.h"

#include "config/SafeFile.h"

#include <fstream>
#include <iterator>
#include <sys/stat.h>

namespace pelko {

namespace {

constexpr const char* kMagic = "pelko-seen 1";
constexpr const char* kAccountPrefix = "account ";
// Ten accounts of a very full mailbox each; a bigger file is not ours.
constexpr std::streamsize kMaxFileBytes = 64 << 20;

// Ids are printable ASCII without blanks; anything else is damage.
bool PlausibleId(const std::string& id)
{
    if (id.empty() || id.size() > TWirePOP3::kMaxUidLength)
        return false;
    for (unsigned char ch : id)
        if (ch <= ' ' || ch >= 0x7F)
            return false;
    return true;
}

// Account keys hold user text: tabs separate the fields, and line breaks
// would break the file apart.
std::string Clean(const std::string& field)
{
    std::string out;
    for (char ch : field)
        out += (ch == '\t' || ch == '\r' || ch == '\n') ? ' ' : ch;
    return out;
}

} // namespace

std::string SeenIds::Key(const TPOPAcc& account)
{
    return Clean(account.acc_name) + '\t' + Clean(account.host_name) + '\t' + Clean(account.user_name);
}

std::vector<TWirePOP3::ListedId> SeenIds::Update(const std::string& key,
                                                 const std::vector<TWirePOP3::ListedId>& listing,
                                                 bool unknownIsNew)
{
    std::vector<TWirePOP3::ListedId> fresh;
    const auto known = table_.find(key);
    const bool wasKnown = known != table_.end();
    std::unordered_set<std::string> now;
    now.reserve(listing.size());
    for (const TWirePOP3::ListedId& e : listing) {
        now.insert(e.uid);
        if (!wasKnown || known->second.count(e.uid) == 0)
            fresh.push_back(e);
    }
    if (!wasKnown || !fresh.empty() || known->second.size() != now.size())
        changed_ = true;
    table_[key] = std::move(now);
    if (!wasKnown && !unknownIsNew)
        fresh.clear();
    return fresh;
}

std::string SeenIds::Serialise() const
{
    std::string out = std::string(kMagic) + "\n";
    for (const auto& [key, ids] : table_) {
        out += kAccountPrefix + key + "\n";
        for (const std::string& id : ids)
            out += id + "\n";
    }
    return out;
}

void SeenIds::Parse(const std::string& bytes)
{
    table_.clear();
    std::map<std::string, std::unordered_set<std::string>> read;
    size_t at = 0;
    std::unordered_set<std::string>* current = nullptr;
    bool first = true;
    while (at < bytes.size()) {
        size_t end = bytes.find('\n', at);
        if (end == std::string::npos)
            return; // cut off in the middle: damaged
        const std::string line = bytes.substr(at, end - at);
        at = end + 1;
        if (first) {
            if (line != kMagic)
                return;
            first = false;
        } else if (line.rfind(kAccountPrefix, 0) == 0) {
            current = &read[line.substr(std::string(kAccountPrefix).size())];
        } else if (current && PlausibleId(line)) {
            current->insert(line);
        } else {
            return;
        }
    }
    if (!first)
        table_ = std::move(read);
}

void SeenIds::Load(const std::string& path)
{
    table_.clear();
    changed_ = false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return;
    in.seekg(0, std::ios::end);
    const std::streamsize size = in.tellg();
    if (size <= 0 || size > kMaxFileBytes)
        return;
    in.seekg(0);
    std::string bytes(static_cast<size_t>(size), '\0');
    if (!in.read(bytes.data(), size))
        return;
    Parse(bytes);
}

void SeenIds::Save(const std::string& path)
{
    WriteFileAtomically(path, Serialise(), S_IRUSR | S_IWUSR, FileModeRule::Exactly);
    changed_ = false;
}

} // namespace pelko
