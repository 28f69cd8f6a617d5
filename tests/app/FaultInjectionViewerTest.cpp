// The message window against a server that breaks off, stalls or sends odd
// messages, and one that refuses a deletion. The window must report the
// problem, stay usable and show the next message once the server behaves.
#include "FaultInjectionFixture.h"

#include "skinqt/TrMemo.h"
#include "viewer/MsgList.h"
#include "wire/WireErrors.h"

#include <QTimer>

namespace pelko::fault_test {

namespace {

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

// The server's side of "RETR n" for a small message whose subject is `subject`.
std::string Retr(int n, const std::string& subject)
{
    return "C: RETR " + std::to_string(n) + "\nS: +OK\nS: From: Ann <ann@example.org>\nS: Subject: " + subject +
           "\nS: Date: Mon, 3 Jun 2024 10:00:00 +0200\nS:\nS: Hello.\nS: .\n";
}

// The check a step of the window begins with: a new login and a count.
std::string Recount(int n) { return GoodCheck(n); }

class ViewerFault : public FaultTest {
protected:
    void TearDown() override
    {
        if (win)
            win->hide();
        win.reset();
        FaultTest::TearDown();
    }

    // The main window at host, connected, with its message window.
    TMsgList& open(const std::string& host, bool headerOnly = false)
    {
        TPelko& m = startAt(host, false, headerOnly);
        win = std::make_unique<TMsgList>(m);
        m.SetMsgWindow(win.get());
        m.ConnectClick();
        awaitExchanges();
        return *win;
    }

    // What the main window does on a double-click: show the first message.
    void showFirst()
    {
        w->Guarded([this] { win->ShowMessageNo(1); });
        awaitExchanges();
    }

    std::string subjectLine() const
    {
        const std::string text = win->ShownText();
        const size_t at = text.find("Subj : ");
        return at == std::string::npos ? std::string() : text.substr(at, text.find('\n', at) - at);
    }

    std::unique_ptr<TMsgList> win;
};

} // namespace

TEST_F(ViewerFault, BrokenFetchesAreReportedAndTheNextStepWorks)
{
    const std::string start = Recount(2) + "C: RETR 1\nS: +OK\nS: From: Ann <ann@example.org>\nS: Subject: cut\n";
    std::vector<std::vector<PeerStep>> scripts;
    auto script = [&](const std::string& text) { scripts.push_back(ScriptedPeer::ParseScript(text)); };
    script(start + "S:\nS: first half of the body\nCLOSE\n");                  // closed inside the body
    script(Recount(2) + "C: RETR 1\nS: +OK\nS: From: Ann\nSTALL 4000\n");     // stalls inside the header
    // A header line of 10 MB.
    script(Recount(2) + "C: RETR 1\nS: +OK\n");
    scripts.back().push_back({PeerStep::Send, "Subject: " + std::string(10 << 20, 's') + "\r\n\r\nbody\r\n.\r\n"});
    script(Recount(2) + Retr(1, "finally"));
    SerialPeer peer(scripts);
    TMsgList& v = open(peer.address());
    ASSERT_EQ(status(), "Home-2 messages");

    EXPECT_LT(timed([&] { showFirst(); }), kTimeoutMs + kSlackMs);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_EQ(lastBox(), kClosedGracefullyText + "\r" + w->Session().AccountLine());
    EXPECT_EQ(v.CurMsg(), 0);

    const std::pair<const char*, std::string> steps[] = {
        {"stalled header", "timed out"},
        {"10 MB header line", LineTooLongText(Pop3ClientOf(*w).MaxLineLength)},
    };
    size_t boxes = 1;
    for (const auto& [what, text] : steps) {
        SCOPED_TRACE(what);
        EXPECT_LT(timed([&] { v.NextClick(); }), kTimeoutMs + kSlackMs);
        ASSERT_EQ(fake.boxes.size(), ++boxes);
        EXPECT_TRUE(contains(lastBox(), text)) << lastBox();
        EXPECT_EQ(v.CurMsg(), 0) << "nothing shown counts as shown";
    }

    v.NextClick();
    awaitExchanges();
    EXPECT_EQ(fake.boxes.size(), boxes) << lastBox();
    EXPECT_EQ(v.CurMsg(), 1);
    EXPECT_EQ(subjectLine(), "Subj : finally");
    EXPECT_TRUE(peer.mismatches().empty()) << peer.mismatches().front();
    expectFilesIntact();
}

TEST_F(ViewerFault, NulBytesAndBareLineFeedsInAMessage)
{
    SerialPeer peer({
        Recount(1) +
            "C: RETR 1\nS: +OK\nRAW 5375626a6563743a20610062630d0a\nS: From: x@example.org\nS:\n"
            "RAW 626f6479006c696e650d0a\nLF: bare one\nLF: bare two\nS: closing line\nS: .\n",
    });
    TMsgList& v = open(peer.address());
    showFirst();
    EXPECT_TRUE(fake.boxes.empty()) << lastBox();
    EXPECT_EQ(v.CurMsg(), 1);
    // A control character in a header is shown as a blank, never as a cut.
    EXPECT_EQ(subjectLine(), "Subj : a bc");
    const std::string text = v.ShownText();
    EXPECT_TRUE(contains(text, "closing line")) << text;
    EXPECT_TRUE(contains(text, "bare one")) << text;
    expectFilesIntact();
}

TEST_F(ViewerFault, RefusedDeletionIsReported)
{
    SerialPeer peer({
        Recount(2) + Retr(1, "keep me") + "C: DELE 1\nS: -ERR Message is locked\nC: Quit\n",
        Recount(2) + Retr(1, "keep me"),
    });
    TMsgList& v = open(peer.address());
    showFirst();
    ASSERT_EQ(subjectLine(), "Subj : keep me");

    EXPECT_LT(timed([&] { v.DeleteClick(); }), kTimeoutMs + kSlackMs);
    // The user learns that nothing was deleted, in the server's words.
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_TRUE(contains(lastBox(), "-ERR Message is locked")) << lastBox();
    // The window goes on with the mailbox as the server has it.
    EXPECT_EQ(c.MsgCount, 2);
    EXPECT_EQ(subjectLine(), "Subj : keep me");
    EXPECT_TRUE(peer.mismatches().empty()) << peer.mismatches().front();
    expectFilesIntact();
}

TEST_F(ViewerFault, StalledDeletionAndHeaderFetchTimeOut)
{
    SerialPeer peer({
        Recount(2) + "C: TOP 1 0\nS: +OK\nS: Subject: one\nS:\nS: .\n" + "C: DELE 1\nSTALL 4000\n",
        Recount(2) + "C: TOP 2 0\nS: +OK\nS: Subject: two\nSTALL 4000\n",
        Recount(2) + "C: TOP 2 0\nS: +OK\nS: Subject: two\nS:\nS: .\n",
    });
    TMsgList& v = open(peer.address(), true);
    showFirst();
    ASSERT_EQ(subjectLine(), "Subj : one");

    EXPECT_LT(timed([&] { v.DeleteClick(); }), kTimeoutMs + kSlackMs);
    ASSERT_EQ(fake.boxes.size(), 1u);
    EXPECT_TRUE(contains(lastBox(), "timed out")) << lastBox();
    EXPECT_EQ(subjectLine(), "Subj : one") << "the window keeps what it showed";
    EXPECT_FALSE(w->Session().Connected()) << "a connection that timed out is closed";
    EXPECT_EQ(w->Online->hint(), "Disconnected");

    EXPECT_LT(timed([&] { v.NextClick(); }), kTimeoutMs + kSlackMs);
    ASSERT_EQ(fake.boxes.size(), 2u);
    EXPECT_TRUE(contains(lastBox(), "timed out")) << lastBox();
    EXPECT_FALSE(w->Session().Connected());

    v.NextClick();
    awaitExchanges();
    EXPECT_EQ(fake.boxes.size(), 2u) << lastBox();
    EXPECT_EQ(subjectLine(), "Subj : two");
    EXPECT_TRUE(peer.mismatches().empty()) << peer.mismatches().front();
    expectFilesIntact();
}

TEST_F(ViewerFault, ClosingTheWindowCallsAStalledStepOff)
{
    SerialPeer peer({
        Recount(2) + Retr(1, "one"),
        Recount(2) + "C: RETR 2\nS: +OK\nS: Subject: two\nSTALL 4000\n",
    });
    TMsgList& v = open(peer.address());
    showFirst();
    v.show();
    QTimer::singleShot(300, &v, [&] { v.CloseMsgClick(); });
    EXPECT_LT(timed([&] { v.NextClick(); }), 300 + 200);
    EXPECT_FALSE(v.isVisible());
    EXPECT_TRUE(fake.boxes.empty()) << lastBox();
    EXPECT_FALSE(w->Session().Connected());
    EXPECT_EQ(w->Online->hint(), "Disconnected");
    EXPECT_EQ(subjectLine(), "Subj : one");
}

} // namespace pelko::fault_test
