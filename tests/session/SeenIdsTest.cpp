// The seen-ids file: what one writer keeps of another's accounts, what the
// largest listings leave, the memory a hostile file can take, and names that
// are no regular file.
#include "config/FileLock.h"
#include "config/SafeFile.h"
#include "session/SeenIds.h"
#include "wire/Pop3.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace pelko {
namespace {

struct Scratch {
    std::string dir;
    Scratch()
    {
        char tmpl[] = "/tmp/pelko-seen-XXXXXX";
        dir = ::mkdtemp(tmpl);
    }
    ~Scratch() { std::filesystem::remove_all(dir); }
    std::string file() const { return dir + "/" + SeenIds::kFileName; }
};

std::vector<ListedMessage> Listing(const std::vector<std::string>& ids)
{
    std::vector<ListedMessage> out;
    int32_t n = 0;
    for (const std::string& id : ids)
        out.push_back({++n, id});
    return out;
}

// Runs check in a child process that must end within ms and return true.
// A limit on the child's address space (extraBytes beyond what it already
// has) makes a reader that takes too much memory fail there.
bool InChild(int ms, const std::function<bool()>& check, size_t extraBytes = 0)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (extraBytes) {
            long pages = 0;
            if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
                if (std::fscanf(f, "%ld", &pages) != 1)
                    pages = 0;
                std::fclose(f);
            }
            const rlim_t limit = rlim_t(pages) * rlim_t(::sysconf(_SC_PAGESIZE)) + extraBytes;
            const struct rlimit rl {limit, limit};
            ::setrlimit(RLIMIT_AS, &rl);
        }
        bool ok = false;
        try {
            ok = check();
        } catch (...) {
        }
        ::_exit(ok ? 0 : 1);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    int ws = 0;
    while (::waitpid(pid, &ws, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &ws, 0);
            return false;
        }
        ::usleep(5000);
    }
    return WIFEXITED(ws) && WEXITSTATUS(ws) == 0;
}

TEST(SeenIds, WritersReplaceOnlyTheAccountsTheyChecked)
{
    Scratch s;
    SeenIds first, second;
    first.Load(s.file());
    second.Load(s.file());
    first.Record("A", Listing({"a1"}));
    first.Save(s.file());
    second.Record("B", Listing({"b1"}));
    second.Save(s.file());
    EXPECT_EQ(second.IdCount("A"), 1u) << "taken over from the file";

    // A writer holding the lock makes the next one wait its turn.
    std::atomic<bool> saved{false};
    std::thread later;
    {
        const FileLock held(s.dir + "/" + SeenIds::kLockFileName, s.file(), 1000);
        later = std::thread([&] {
            first.Record("C", Listing({"c1", "c2"}));
            first.Save(s.file());
            saved = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        EXPECT_FALSE(saved);
    }
    later.join();
    EXPECT_TRUE(saved);

    SeenIds after;
    after.Load(s.file());
    EXPECT_EQ(after.AccountCount(), 3u);
    EXPECT_EQ(after.IdCount("A"), 1u);
    EXPECT_EQ(after.IdCount("B"), 1u);
    EXPECT_EQ(after.IdCount("C"), 2u);
}

TEST(SeenIds, AChangedValidityTellsNothingAndReplacesTheRecordInTheFile)
{
    Scratch s;
    SeenIds first, second;
    first.Update("K", "7", Listing({"7.1"}), false);
    first.Record("P", Listing({"p1"}));
    first.Save(s.file());
    second.Load(s.file());
    EXPECT_EQ(second.Update("K", "7", Listing({"7.1", "7.2"}), true).size(), 1u) << "same validity: by the ids";
    // The mailbox comes back numbered afresh: the same ids, or more, are no news.
    EXPECT_TRUE(second.Update("K", "8", Listing({"8.1", "8.2", "8.3"}), true).empty());
    EXPECT_EQ(first.Update("K", "9", Listing({"9.1"}), true).size(), 0u);
    first.Save(s.file()); // another run's record, kept with a validity of its own
    second.Save(s.file());

    SeenIds after;
    after.Load(s.file());
    EXPECT_EQ(after.AccountCount(), 2u) << "one record for K, whichever validity wrote last";
    EXPECT_EQ(after.IdCount(SeenIds::ValidityKey("K", "8")), 3u);
    EXPECT_EQ(after.IdCount("P"), 1u);
    EXPECT_EQ(after.Update("K", "8", Listing({"8.1", "8.2", "8.3", "8.4"}), false).size(), 1u);
}

TEST(SeenIds, TheLongestListingKeepsTheOtherAccounts)
{
    Scratch s;
    std::vector<std::string> ids;
    ids.reserve(TWirePOP3::kMaxKeptIds);
    for (size_t i = 0; i < TWirePOP3::kMaxKeptIds; ++i) {
        char head[16];
        std::snprintf(head, sizeof head, "%09zu", i);
        ids.push_back(head + std::string(TWirePOP3::kMaxUidLength - 9, 'x'));
    }
    {
        SeenIds seen;
        seen.Record("Big", Listing(ids));
        seen.Record("Small", Listing({"s1"}));
        ids = {};
        seen.Save(s.file());
    }
    SeenIds back;
    back.Load(s.file());
    EXPECT_EQ(back.IdCount("Big"), TWirePOP3::kMaxKeptIds);
    const auto fresh = back.NewIn("Small", Listing({"s1", "s2"}), false);
    ASSERT_EQ(fresh.size(), 1u);
    EXPECT_EQ(fresh[0].uid, "s2");
}

TEST(SeenIds, AnOversizedFileIsReadInBoundedMemory)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than any limit here";
#endif
    // 64 MiB of short ids, after an account of two: the first account is
    // read, the rest stops at the limit, in well under 100 MB.
    Scratch s;
    {
        std::ofstream out(s.file(), std::ios::binary);
        out << "pelko-seen 1\naccount First\nf1\nf2\naccount Huge\n";
        std::string block;
        for (size_t i = 0; block.size() < (size_t(64) << 20) - 64; ++i)
            block += std::to_string(i) + "\n";
        out << block;
    }
    EXPECT_TRUE(InChild(
        60000,
        [&] {
            SeenIds seen;
            seen.Load(s.file());
            return seen.IdCount("First") == 2 && seen.IdCount("Huge") == 0;
        },
        size_t(100) << 20));
}

TEST(SeenIds, OnlyRegularFilesAreReadOrReplaced)
{
    Scratch s;
    const std::string elsewhere = s.dir + "/elsewhere";
    std::ofstream(elsewhere) << "pelko-seen 1\naccount A\na1\n";
    const std::string node = s.dir + "/null";
    struct Row {
        const char* what;
        std::function<bool(const std::string&)> make;
        mode_t type;         // what the name stays
        std::string target;  // and what it leads to
        mode_t targetType;
    } rows[] = {
        {"pipe", [](const std::string& p) { return ::mkfifo(p.c_str(), 0600) == 0; }, S_IFIFO, s.file(), S_IFIFO},
        {"link to a file", [&](const std::string& p) { return ::symlink(elsewhere.c_str(), p.c_str()) == 0; },
         S_IFLNK, elsewhere, S_IFREG},
        {"link to a device",
         [&](const std::string& p) {
             return ::mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 &&
                    ::symlink(node.c_str(), p.c_str()) == 0;
         },
         S_IFLNK, node, S_IFCHR},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        ::unlink(s.file().c_str());
        if (!r.make(s.file())) {
            EXPECT_EQ(std::string(r.what), "link to a device") << "only a device needs root";
            continue;
        }
        EXPECT_TRUE(InChild(10000, [&] {
            SeenIds seen;
            seen.Load(s.file());
            return seen.AccountCount() == 0;
        }));
        SeenIds seen;
        seen.Record("A", Listing({"a2"}));
        EXPECT_THROW(seen.Save(s.file()), FileWriteError);
        struct stat st {};
        ASSERT_EQ(::lstat(s.file().c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & S_IFMT, r.type);
        ASSERT_EQ(::lstat(r.target.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & S_IFMT, r.targetType);
    }
    std::ifstream in(elsewhere);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "pelko-seen 1\naccount A\na1\n");
}

} // namespace
} // namespace pelko
