// Naming new messages by their headers: one failed fetch ends the fetching,
// a refused one does not.
#include "ScriptedPeer.h"
#include "session/NewMailHeaders.h"
#include "session/Pop3Mailbox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace pelko {
namespace {

std::string Top(int n, const std::string& subject)
{
    return "C: TOP " + std::to_string(n) + " 0\nS: +OK\nS: Subject: " + subject + "\nS: \nS: .\n";
}

TEST(NewMailHeaders, TheFirstFailedFetchEndsTheFetching)
{
    const std::string login = "S: +OK ready\nC: User joe\nS: +OK\nC: Pass word\nS: +OK in\n";
    const struct {
        const char* what;
        std::string script;   // after message 1's headers
        std::string subjects; // of the messages named, "|" after each
        bool third;           // message 3 was asked for
    } rows[] = {
        {"silent", "C: TOP 2 0\nSTALL 3000\n", "one|", false},
        {"closed", "C: TOP 2 0\nCLOSE\n", "one|", false},
        {"body after the header", "C: TOP 2 0\nS: +OK\nS: Subject: two\nS: \nS: body\nS: .\n", "one|", false},
        {"refused", "C: TOP 2 0\nS: -ERR no such message\n" + Top(3, "three") + Top(4, "four") + Top(5, "five"),
         "one||three|four|five|", true},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        ScriptedPeer peer(login + Top(1, "one") + r.script);
        Pop3Mailbox box;
        TWirePOP3& pop = box.Client();
        pop.Host = "127.0.0.1:" + std::to_string(peer.port());
        pop.UserID = "joe";
        pop.Password = "word";
        pop.Timeout = 400;
        pop.Connect();
        const auto start = std::chrono::steady_clock::now();
        std::string subjects;
        for (const NewMailHeaders& h : FetchNewMailHeaders(box, {1, 2, 3, 4, 5}))
            subjects += h.subject + "|";
        EXPECT_EQ(subjects, r.subjects);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900)) << "one time-out at most";
        pop.Abort();
        peer.finish(100);
        EXPECT_EQ(peer.received().find("TOP 3 0") != std::string::npos, r.third) << peer.received();
    }
}

} // namespace
} // namespace pelko
