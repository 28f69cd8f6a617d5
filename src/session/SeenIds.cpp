#include "session/SeenIds.h"

#include "config/FileLock.h"
#include "config/SafeFile.h"
#include "wire/Pop3.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace pelko {

namespace {

// The first line: the ids themselves (1), or their hashes (2, written now).
constexpr std::string_view kMagicIds = "pelko-seen 1";
constexpr std::string_view kMagicHashes = "pelko-seen 2";
constexpr std::string_view kAccountPrefix = "account ";
// Between an account's key and a validity (the key's own fields hold no tab).
constexpr std::string_view kValidityMark = "\tuidvalidity ";
constexpr size_t kHashDigits = 16;
constexpr size_t kMaxLine = kAccountPrefix.size() + SeenIds::kMaxKeyBytes;
// How long a writer waits for another to finish (they take moments).
constexpr int kLockWaitMs = 5000;

static_assert(kMagicHashes.size() + 1 +
                      SeenIds::kMaxAccounts * (kAccountPrefix.size() + SeenIds::kMaxKeyBytes + 1) +
                      SeenIds::kMaxIds * (kHashDigits + 1) <=
                  SeenIds::kMaxFileBytes,
              "the reader reads every file the writer makes");

// Ids are printable ASCII without blanks; anything else is damage.
bool PlausibleId(std::string_view id)
{
    if (id.empty() || id.size() > TWirePOP3::kMaxUidLength)
        return false;
    for (unsigned char ch : id)
        if (ch <= ' ' || ch >= 0x7F)
            return false;
    return true;
}

bool ParseHash(std::string_view text, uint64_t& value)
{
    if (text.size() != kHashDigits)
        return false;
    value = 0;
    for (char ch : text) {
        const int digit = ch >= '0' && ch <= '9' ? ch - '0' : ch >= 'a' && ch <= 'f' ? ch - 'a' + 10 : -1;
        if (digit < 0)
            return false;
        value = value << 4 | uint64_t(digit);
    }
    return true;
}

void AppendHash(std::string& out, uint64_t value)
{
    static const char digits[] = "0123456789abcdef";
    char text[kHashDigits + 1];
    for (size_t i = kHashDigits; i-- > 0; value >>= 4)
        text[i] = digits[value & 0xF];
    text[kHashDigits] = '\n';
    out.append(text, sizeof text);
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

// Reads the file a block at a time into the table: one pass, memory for the
// hashes and one line. Stops for good at the first damage or limit; the
// accounts read whole before it are kept, the one being read is not.
class RecordReader {
public:
    using Table = std::map<std::string, std::vector<uint64_t>>;
    explicit RecordReader(Table& out) : out_(out) {}

    // The next bytes of the file; false once reading is over.
    bool Feed(const char* data, size_t size)
    {
        if (over_)
            return false;
        if (size > SeenIds::kMaxFileBytes - read_)
            return Stop(); // bigger than any file of ours
        read_ += size;
        while (size > 0) {
            const char* end = static_cast<const char*>(std::memchr(data, '\n', size));
            const size_t part = end ? size_t(end - data) : size;
            if (partial_.size() + part > kMaxLine)
                return Stop();
            if (!end) {
                partial_.append(data, part);
                return true;
            }
            bool more;
            if (partial_.empty()) {
                more = Line(std::string_view(data, part));
            } else {
                partial_.append(data, part);
                more = Line(partial_);
                partial_.clear();
            }
            if (!more)
                return Stop();
            data += part + 1;
            size -= part + 1;
        }
        return true;
    }

    // The end of the file: a last line without its line end is damage.
    void Finish()
    {
        if (!over_ && partial_.empty())
            Commit();
        over_ = true;
    }

private:
    bool Stop()
    {
        over_ = true;
        return false;
    }

    bool Line(std::string_view line)
    {
        if (version_ == 0) {
            version_ = line == kMagicIds ? 1 : line == kMagicHashes ? 2 : -1;
            return version_ > 0;
        }
        if (line.substr(0, kAccountPrefix.size()) == kAccountPrefix) {
            if (!Commit())
                return false;
            key_.assign(line.substr(kAccountPrefix.size()));
            inRecord_ = true;
            return true;
        }
        uint64_t hash = 0;
        if (version_ == 2 ? !ParseHash(line, hash) : !PlausibleId(line))
            return false;
        if (!inRecord_ || ++ids_ > SeenIds::kMaxIds)
            return false;
        hashes_.push_back(version_ == 2 ? hash : SeenIds::IdHash(line));
        return true;
    }

    bool Commit()
    {
        if (!inRecord_)
            return true;
        inRecord_ = false;
        if (out_.size() >= SeenIds::kMaxAccounts && out_.count(key_) == 0)
            return false;
        std::sort(hashes_.begin(), hashes_.end());
        hashes_.erase(std::unique(hashes_.begin(), hashes_.end()), hashes_.end());
        hashes_.shrink_to_fit();
        out_[key_] = std::move(hashes_);
        hashes_ = {};
        return true;
    }

    Table& out_;
    int version_ = 0; // 0 before the first line
    std::string partial_;
    bool inRecord_ = false;
    std::string key_;
    std::vector<uint64_t> hashes_;
    size_t read_ = 0, ids_ = 0;
    bool over_ = false;
};

} // namespace

std::string SeenIds::Key(const TPOPAcc& account)
{
    return Key(AccountOf(account));
}

std::string SeenIds::Key(const MailAccount& account)
{
    return Clean(account.name) + '\t' + Clean(account.host) + '\t' + Clean(account.user);
}

uint64_t SeenIds::IdHash(std::string_view id)
{
    uint64_t h = 14695981039346656037ull;
    for (unsigned char ch : id) {
        h ^= ch;
        h *= 1099511628211ull;
    }
    h ^= h >> 30;
    h *= 0xbf58476d1ce4e5b9ull;
    h ^= h >> 27;
    h *= 0x94d049bb133111ebull;
    h ^= h >> 31;
    return h;
}

std::vector<ListedMessage> SeenIds::NewIn(const std::string& key,
                                                const std::vector<ListedMessage>& listing,
                                                bool unknownIsNew) const
{
    const auto known = table_.find(key);
    if (known == table_.end())
        return unknownIsNew ? listing : std::vector<ListedMessage>();
    std::vector<ListedMessage> fresh;
    for (const ListedMessage& e : listing)
        if (!std::binary_search(known->second.begin(), known->second.end(), IdHash(e.uid)))
            fresh.push_back(e);
    return fresh;
}

void SeenIds::Record(const std::string& key, const std::vector<ListedMessage>& listing)
{
    Hashes now;
    now.reserve(listing.size());
    for (const ListedMessage& e : listing)
        now.push_back(IdHash(e.uid));
    std::sort(now.begin(), now.end());
    now.erase(std::unique(now.begin(), now.end()), now.end());
    const auto known = table_.find(key);
    if (known != table_.end() && known->second == now)
        return;
    recorded_.insert(key);
    table_[key] = std::move(now);
}

std::vector<ListedMessage> SeenIds::Update(const std::string& key,
                                                 const std::vector<ListedMessage>& listing,
                                                 bool unknownIsNew)
{
    std::vector<ListedMessage> fresh = NewIn(key, listing, unknownIsNew);
    Record(key, listing);
    return fresh;
}

std::string SeenIds::ValidityKey(const std::string& key, const std::string& validity)
{
    return validity.empty() ? key : key + std::string(kValidityMark) + Clean(validity);
}

namespace {

// The account part of a key kept with a validity (the whole key otherwise).
std::string_view AccountPart(std::string_view key)
{
    const size_t mark = key.find(kValidityMark);
    return mark == std::string_view::npos ? key : key.substr(0, mark);
}

} // namespace

void SeenIds::DropOtherValidities(const std::string& key)
{
    const std::string_view account = AccountPart(key);
    if (account.size() == key.size())
        return;
    for (auto it = table_.begin(); it != table_.end();) {
        if (it->first != key && it->first.size() > account.size() && AccountPart(it->first) == account) {
            recorded_.erase(it->first);
            it = table_.erase(it);
        } else
            ++it;
    }
}

std::vector<ListedMessage> SeenIds::Update(const std::string& key, const std::string& validity,
                                           const std::vector<ListedMessage>& listing, bool unknownIsNew)
{
    const std::string kept = ValidityKey(key, validity);
    bool otherValidity = false;
    if (!validity.empty() && table_.count(kept) == 0)
        for (const auto& [k, hashes] : table_)
            otherValidity = otherValidity || (k.size() > key.size() && AccountPart(k) == key);
    std::vector<ListedMessage> fresh = otherValidity ? std::vector<ListedMessage>() : NewIn(kept, listing, unknownIsNew);
    Record(kept, listing);
    DropOtherValidities(kept);
    return fresh;
}

size_t SeenIds::IdCount(const std::string& key) const
{
    const auto it = table_.find(key);
    return it == table_.end() ? 0 : it->second.size();
}

std::string SeenIds::Serialise() const
{
    // Which accounts fit the limits: those just recorded first, then the
    // smaller before the larger; an account is kept whole or left out.
    using Entry = std::map<std::string, Hashes>::const_iterator;
    std::vector<Entry> order;
    for (Entry it = table_.begin(); it != table_.end(); ++it)
        if (it->first.size() <= kMaxKeyBytes)
            order.push_back(it);
    std::stable_sort(order.begin(), order.end(), [this](Entry a, Entry b) {
        const bool ra = recorded_.count(a->first) != 0, rb = recorded_.count(b->first) != 0;
        return ra != rb ? ra : a->second.size() < b->second.size();
    });
    std::vector<Entry> kept;
    size_t ids = 0, bytes = kMagicHashes.size() + 1;
    for (Entry it : order) {
        if (kept.size() < kMaxAccounts && it->second.size() <= kMaxIds - ids) {
            kept.push_back(it);
            ids += it->second.size();
            bytes += kAccountPrefix.size() + it->first.size() + 1 + it->second.size() * (kHashDigits + 1);
        }
    }
    std::sort(kept.begin(), kept.end(), [](Entry a, Entry b) { return a->first < b->first; });

    std::string out;
    out.reserve(bytes);
    out.append(kMagicHashes).append("\n");
    for (Entry it : kept) {
        out.append(kAccountPrefix).append(it->first).append("\n");
        for (uint64_t hash : it->second)
            AppendHash(out, hash);
    }
    return out;
}

void SeenIds::Parse(const std::string& bytes)
{
    table_.clear();
    recorded_.clear();
    RecordReader reader(table_);
    if (reader.Feed(bytes.data(), bytes.size()))
        reader.Finish();
}

void SeenIds::Load(const std::string& path)
{
    table_.clear();
    recorded_.clear();
    // Never through a link, and never a pipe or a device: opening without
    // waiting, then only a regular file is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        RecordReader reader(table_);
        std::vector<char> block(size_t(1) << 16);
        for (;;) {
            const ssize_t n = ::read(fd, block.data(), block.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0)
                reader.Finish();
            if (n <= 0 || !reader.Feed(block.data(), size_t(n)))
                break;
        }
    }
    ::close(fd);
}

void SeenIds::Save(const std::string& path)
{
    const size_t slash = path.rfind('/');
    const std::string lockPath = path.substr(0, slash == std::string::npos ? 0 : slash + 1) + kLockFileName;
    const FileLock lock(lockPath, path, kLockWaitMs);
    // What the file holds now, with this run's accounts put in.
    SeenIds merged;
    merged.Load(path);
    for (const std::string& key : recorded_) {
        merged.table_[key] = table_[key];
        merged.DropOtherValidities(key);
    }
    merged.recorded_ = recorded_;
    WriteFileAtomically(path, merged.Serialise(), S_IRUSR | S_IWUSR, FileModeRule::Exactly, LinkRule::Refuse);
    for (auto& [key, hashes] : merged.table_)
        if (table_.count(key) == 0)
            table_.emplace(key, std::move(hashes));
    recorded_.clear();
}

} // namespace pelko
