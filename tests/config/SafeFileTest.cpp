#include "ConfigTestDir.h"
#include "config/SafeFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

using namespace pelko;
using pelko::testing::ScratchDir;

namespace {

// The write fails naming the file and `reason`; the old file is all that is left.
void expectRefusedAndUntouched(const ScratchDir& dir, size_t size, const std::string& reason)
{
    const std::string path = dir.file("Pelko.ini");
    try {
        WriteFileAtomically(path, std::string(size, 'x'), 0644);
        ADD_FAILURE() << "the write did not fail";
    } catch (const FileWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot write " + path + ": " + reason);
    }
    EXPECT_EQ(dir.read("Pelko.ini"), "old content\r\n");
    EXPECT_EQ(dir.names(), std::set<std::string>{"Pelko.ini"});
}

} // namespace

TEST(SafeFile, ReplacesContentKeepsModeAndFollowsLinks)
{
    ScratchDir dir;
    const mode_t oldMask = umask(022);
    WriteFileAtomically(dir.file("a.ini"), "a\r\n", 0600);
    WriteFileAtomically(dir.file("b.ini"), "b", 0666);
    EXPECT_EQ(dir.mode("a.ini"), 0600u);
    EXPECT_EQ(dir.mode("b.ini"), 0644u); // the umask applies to new files only
    chmod(dir.file("b.ini").c_str(), 0666);
    WriteFileAtomically(dir.file("b.ini"), "longer content\r\n", 0600);
    EXPECT_EQ(dir.read("b.ini"), "longer content\r\n");
    EXPECT_EQ(dir.mode("b.ini"), 0666u);
    umask(oldMask);

    ASSERT_EQ(symlink("a.ini", dir.file("link.ini").c_str()), 0);
    WriteFileAtomically(dir.file("link.ini"), "through the link", 0644);
    EXPECT_EQ(dir.read("a.ini"), "through the link");
    char target[16] = {};
    EXPECT_EQ(readlink(dir.file("link.ini").c_str(), target, sizeof target - 1), 5); // still a link
    EXPECT_EQ(dir.names(), (std::set<std::string>{"a.ini", "b.ini", "link.ini"}));
}

TEST(SafeFile, OnlyRegularFilesAreReplaced)
{
    // A link to a pipe (or a device: /dev/null) is refused, not replaced by a file.
    ScratchDir dir;
    ASSERT_EQ(mkfifo(dir.file("pipe").c_str(), 0600), 0);
    ASSERT_EQ(symlink("pipe", dir.file("Pelko.ini").c_str()), 0);
    try {
        WriteFileAtomically(dir.file("Pelko.ini"), "x", 0644);
        ADD_FAILURE() << "the write did not fail";
    } catch (const FileWriteError& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot write " + dir.file("Pelko.ini") + ": not a regular file");
    }
    struct stat st {};
    ASSERT_EQ(lstat(dir.file("pipe").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(dir.names(), (std::set<std::string>{"Pelko.ini", "pipe"}));
}

TEST(SafeFile, FullDiskLeavesTheOldFile)
{
    ScratchDir dir;
    dir.write("Pelko.ini", "old content\r\n");
    struct rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    expectRefusedAndUntouched(dir, 5000, "File too large");
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    ScratchDir full;
    if (!full.mountTmpfs("size=16k"))
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    expectRefusedAndUntouched(full, 64 * 1024, "No space left on device");
}

TEST(SafeFile, ReadOnlyDirectoryLeavesTheOldFile)
{
    ScratchDir dir;
    if (geteuid() != 0) { // permission bits bind ordinary users only
        dir.write("Pelko.ini", "old content\r\n");
        chmod(dir.path().c_str(), 0555);
        expectRefusedAndUntouched(dir, 5, "Permission denied");
        chmod(dir.path().c_str(), 0700);
    } else if (dir.mountTmpfs("size=64k", true)) {
        expectRefusedAndUntouched(dir, 5, "Read-only file system");
    } else {
        GTEST_SKIP() << "cannot mount a read-only tmpfs here";
    }
}
