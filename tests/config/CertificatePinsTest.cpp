#include "ConfigTestDir.h"
#include "config/CertificatePins.h"
#include "config/SafeFile.h"

#include <gtest/gtest.h>

using namespace pelko;
using pelko::testing::ScratchDir;

namespace {

std::string Fp(char c)
{
    std::string fp;
    for (int i = 0; i < 32; ++i)
        fp += std::string(i ? ":" : "") + c + c;
    return fp;
}

} // namespace

TEST(CertificatePins, APinBelongsToOneAccountAtOneServerAndPort)
{
    const std::string file = "# comment\tx\t995\t" + Fp('1') + "\n"
                             "Home\tmail.home.lan\t995\t" + Fp('a') + "\r\n"
                             "Tab%09%25Name\t[::1]\t995\t" + Fp('2') + "\n"
                             "Home\tmail.home.lan\t110\tnot-a-fingerprint\n"
                             "Home\tmail.home.lan\t0\t" + Fp('3') + "\n"
                             "Home\tother.lan\t995\t" + Fp('4') + "\textra\n"
                             "Home\tother.lan\t99999\t" + Fp('5'); // no line end
    struct Row {
        std::string account, host;
        int port;
        std::string want;
    };
    const Row rows[] = {
        {"Home", "mail.home.lan", 995, Fp('A')}, // stored in either case, given in upper case
        {"Home", "MAIL.Home.LAN", 995, Fp('A')}, // host names ignore ASCII case
        {"home", "mail.home.lan", 995, ""},      // account names do not
        {"Work", "mail.home.lan", 995, ""},
        {"Home", "mail.home.lan", 996, ""},
        {"Home", "mail.home.lan", 110, ""}, // a damaged line trusts nothing
        {"Home", "mail.home.lan", 0, ""},
        {"Home", "other.lan", 995, ""},
        {"Home", "other.lan", 99999, ""},
        {"Tab\t%Name", "[::1]", 995, Fp('2')},
        {"# comment", "x", 995, ""},
    };
    for (const Row& r : rows)
        EXPECT_EQ(FindPin(file, r.account, r.host, r.port), r.want) << r.account << " " << r.host << ":" << r.port;
}

TEST(CertificatePins, TrustingReplacesThatServersPinAndKeepsEveryOtherLine)
{
    ScratchDir dir;
    const std::string path = dir.file(kPinsFileName);
    TrustCertificate(path, {"Home", "Mail.Home.Lan", 995, Fp('a')});
    EXPECT_EQ(dir.mode(kPinsFileName), 0600u);
    EXPECT_EQ(FindPinnedCertificate(path, "Home", "mail.home.lan", 995), Fp('A'));
    const std::string header = dir.read(kPinsFileName).substr(0, dir.read(kPinsFileName).find("Home\t"));
    ASSERT_EQ(header.rfind("# ", 0), 0u);

    // Lines of the user's own (and one without its line end) stay as they were.
    dir.write(kPinsFileName, dir.read(kPinsFileName) + "# mine\nWork\tpop.example\t995\t" + Fp('b') +
                                 "\ngarbage line\nHome\tmail.home.lan\t995\t" + Fp('c') + "\nlast");
    TrustCertificate(path, {"Home", "mail.home.lan", 995, Fp('d')});
    TrustCertificate(path, {"Line\nBreak", "mail.home.lan", 995, Fp('e')});
    EXPECT_EQ(dir.read(kPinsFileName), header + "Home\tmail.home.lan\t995\t" + Fp('D') + "\n# mine\nWork\tpop.example\t995\t" +
                                           Fp('b') + "\ngarbage line\nlast\nLine%0ABreak\tmail.home.lan\t995\t" +
                                           Fp('E') + "\n");
    EXPECT_EQ(FindPinnedCertificate(path, "Line\nBreak", "mail.home.lan", 995), Fp('E'));

    // A file others may write trusts nothing and is not rewritten.
    chmod(path.c_str(), 0622);
    EXPECT_EQ(FindPinnedCertificate(path, "Home", "mail.home.lan", 995), "");
    const std::string before = dir.read(kPinsFileName);
    EXPECT_THROW(TrustCertificate(path, {"Home", "mail.home.lan", 995, Fp('f')}), FileWriteError);
    EXPECT_EQ(dir.read(kPinsFileName), before);
    // Nor is a file too large to be one of ours.
    chmod(path.c_str(), 0600);
    dir.write(kPinsFileName, std::string((1 << 20) + 1, '#'));
    EXPECT_THROW(TrustCertificate(path, {"Home", "mail.home.lan", 995, Fp('f')}), FileWriteError);
    EXPECT_EQ(dir.read(kPinsFileName).size(), size_t(1 << 20) + 1);
}
