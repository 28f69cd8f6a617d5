#include "mime/TempFiles.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace pelko;

namespace {
bool exists(const std::string& p) { return access(p.c_str(), F_OK) == 0; }
} // namespace

TEST(TempFiles, PrivateEmptyFilesStartingWithPBE)
{
    const std::string& dir = TempPath();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    // A directory of this process's own, inside one of this user's own, both private.
    EXPECT_EQ(dir, TempFilesRoot() + std::to_string(getpid()) + "/");
    for (const std::string& d : {dir, TempFilesRoot()}) {
        struct stat st {};
        ASSERT_EQ(lstat(d.substr(0, d.size() - 1).c_str(), &st), 0) << d;
        EXPECT_TRUE(S_ISDIR(st.st_mode));
        EXPECT_EQ(st.st_mode & 0777, 0700u) << d;
        EXPECT_EQ(st.st_uid, geteuid());
    }

    const std::string a = MakeTempFileName();
    const std::string b = MakeTempFileName();
    ASSERT_FALSE(a.empty());
    EXPECT_NE(a, b);
    EXPECT_EQ(a.rfind(dir + "PBE", 0), 0u) << a;
    struct stat st {};
    ASSERT_EQ(stat(a.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(st.st_size, 0);

    RemoveTempFile(a);
    EXPECT_FALSE(exists(a));
    EXPECT_TRUE(exists(b));
    RemoveAllTempFiles();
    EXPECT_FALSE(exists(b));
}

TEST(TempFiles, OnlyFilesMadeHereAreDeleted)
{
    const std::string other = TempPath() + "pelko-not-ours-" + std::to_string(getpid());
    std::ofstream(other) << "x";
    ASSERT_TRUE(exists(other));
    RemoveTempFile(other);
    RemoveAllTempFiles();
    EXPECT_TRUE(exists(other));
    unlink(other.c_str());

    // A file already removed by someone else is simply forgotten.
    const std::string gone = MakeTempFileName();
    unlink(gone.c_str());
    RemoveTempFile(gone);
    RemoveAllTempFiles();
    EXPECT_FALSE(exists(gone));
}
