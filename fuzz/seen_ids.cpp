// The seen-ids file (Pelko.seen) over arbitrary bytes: read from memory and
// from a file alike, within the limits, and what is read writes back as it
// was read.
#include "FuzzSupport.h"
#include "session/SeenIds.h"

#include <string>
#include <vector>

using namespace pelko;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    SeenIds parsed;
    parsed.Parse(bytes);
    FUZZ_CHECK(parsed.AccountCount() <= SeenIds::kMaxAccounts);

    // The file route reads what the memory route reads.
    const std::string path = fuzz::ScratchDir() + SeenIds::kFileName;
    fuzz::WriteFile(path, data, size);
    SeenIds loaded;
    loaded.Load(path);
    const std::string written = parsed.Serialise();
    FUZZ_CHECK(loaded.Serialise() == written);

    // What the writer makes is within the bound and reads back the same.
    FUZZ_CHECK(written.size() <= SeenIds::kMaxFileBytes);
    SeenIds again;
    again.Parse(written);
    FUZZ_CHECK(again.AccountCount() == parsed.AccountCount());
    FUZZ_CHECK(again.Serialise() == written);

    // The input's lines as a listing: recorded, nothing of it is new.
    std::vector<ListedMessage> listing;
    size_t at = 0;
    for (int32_t n = 1; at < bytes.size() && listing.size() < 64; ++n) {
        const size_t end = std::min(bytes.find('\n', at), bytes.size());
        listing.push_back({n, bytes.substr(at, end - at)});
        at = end + 1;
    }
    parsed.Record("fuzz", listing);
    FUZZ_CHECK(parsed.NewIn("fuzz", listing, true).empty());
    FUZZ_CHECK(parsed.IdCount("fuzz") <= listing.size());
    return 0;
}
