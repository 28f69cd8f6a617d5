#include "WireTestUtil.h"
#include "wire/Pop3ReplyReader.h"
#include "wire/WireClient.h"
#include "wire/WireErrors.h"

#include <chrono>
#include <gtest/gtest.h>
#include <thread>

using namespace pelko;
using namespace pelko::test;

TEST(WireSocket, OnlyCrLfEndsALine)
{
    TWireSocket s;
    AttachMemory(s, "first\nstill first\r\n\r\n  \t \r\nlast \x01\r\nlone\rcr\r\n", 3);
    EXPECT_EQ(s.ReadLine(), "first\nstill first");
    EXPECT_EQ(s.ReadLine(), "");
    // Blank and control-only lines are skipped, the result trimmed.
    EXPECT_EQ(s.ReadTrimmedLine(), "last");
    EXPECT_EQ(s.ReadLine(), "lone\rcr");
}

TEST(WireSocket, CommandWithALineBreakIsNotSent)
{
    for (const std::string command : {"Pass a\rDELE 1", "Pass a\nDELE 1", "\r\n"}) {
        TWireSocket s;
        MemoryTransport* t = AttachMemory(s, "+OK\r\n");
        try {
            s.SendCommand(command, kAnyReply, 0, "");
            ADD_FAILURE() << "no exception";
        } catch (const EWireException& e) {
            EXPECT_EQ(std::string(e.what()), kLineBreakInCommandText);
        }
        EXPECT_EQ(t->written(), "");
    }
}

TEST(WireSocket, CancelIsSeenBetweenReceivesWhileDataKeepsComing)
{
    // A peer that always has bytes ready never makes a read wait. The owner
    // hears from the reader through its work event (during a work period) or
    // its idle event (at most once a waiting slice, here after a first
    // receive that took 35 ms); a cancel it asks for there stops the very
    // next receive.
    class SlowFirstReceive : public MemoryTransport {
    public:
        using MemoryTransport::MemoryTransport;
        IoResult recv(char* data, size_t length) override
        {
            if (receiveCalls() == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(35));
            return MemoryTransport::recv(data, length);
        }
    };
    for (const bool fromWork : {true, false}) {
        SCOPED_TRACE(fromWork ? "work event" : "idle event");
        TWireSocket s;
        auto transport = std::make_unique<SlowFirstReceive>(std::string(100000, 'x') + "\r\n", 4096);
        SlowFirstReceive* t = transport.get();
        s.AttachTransport(std::move(transport));
        if (fromWork) {
            s.BeginWork();
            s.OnWork = [&](TWire*, int32_t, int32_t) { s.Cancel(); };
        } else {
            s.EndWork(); // no work events from here on
            s.OnIdle = [&] { s.Cancel(); };
        }
        EXPECT_THROW(s.ReadLine(), EWireCancelled);
        EXPECT_EQ(t->receiveCalls(), 1u);
    }
}

TEST(WireSocket, SendCommandChecksTheCodeAndReportsStatus)
{
    TWireSocket s;
    s.SetReplyReader(std::make_unique<Pop3ReplyReader>());
    StatusLog log;
    log.hook(s);
    MemoryTransport* t = AttachMemory(s, Crlf("-ERR nope\n-ERR really not\n+OK fine\n+OK quiet\n+OK listen\n"));

    EXPECT_EQ(s.SendCommand("NOOP", -1, 0, "ignored?"), 0); // -1 accepts anything
    try {
        s.SendCommand("DELE 3", 1, 0, "never shown");
        ADD_FAILURE() << "no exception";
    } catch (const EWireResponseError& e) {
        EXPECT_EQ(std::string(e.what()), "-ERR really not");
        EXPECT_EQ(s.ResultText, "-ERR really not");
    }
    EXPECT_EQ(s.SendCommand("STAT", 1, 1, "*"), 1);
    EXPECT_EQ(s.SendCommand("X", 1, 2, ""), 1);
    // A single NUL character: read a response without sending.
    EXPECT_EQ(s.SendCommand(std::string(1, '\0'), 1, 0, "got it"), 1);
    EXPECT_EQ(t->written(), "NOOP\r\nDELE 3\r\nSTAT\r\nX\r\n");
    EXPECT_EQ(log.lines, (TStrings{"ignored?", "  +OK fine", "got it"}));
}

TEST(WireSocket, WorkReportsOncePerKibibyte)
{
    TWireSocket s;
    std::vector<std::pair<int32_t, int32_t>> reports;
    s.OnWork = [&](TWire*, int32_t w, int32_t size) { reports.emplace_back(w, size); };
    // 3000 bytes in one receive during a work period without size.
    AttachMemory(s, std::string(2998, 'x') + "\r\n");
    s.BeginWork(-1);
    s.ReadLine();
    s.EndWork();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0], std::make_pair(3000, -1));
    EXPECT_EQ(reports[1], std::make_pair(-1, -1));
    EXPECT_EQ(s.LastReportedKiB, 0);
    EXPECT_EQ(s.WorkSize, -2);

    // Between periods nothing is reported.
    reports.clear();
    s.DoWork(50000);
    EXPECT_TRUE(reports.empty());

    // In small receives: one report per new whole kibibyte.
    TWireSocket t;
    t.OnWork = [&](TWire*, int32_t w, int32_t size) { reports.emplace_back(w, size); };
    AttachMemory(t, std::string(2598, 'y') + "\r\n", 500);
    t.BeginWork(2600);
    t.ReadLine();
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0], std::make_pair(1500, 2600));
    EXPECT_EQ(reports[1], std::make_pair(2500, 2600));
}

TEST(WireSocket, BytesAndFilter)
{
    TWireSocket s;
    s.ASCIIFilter = true;
    AttachMemory(s, "\xE9t\xE9\r\nabcdef", 2);
    EXPECT_EQ(s.ReadLine(), "iti"); // 0xE9 arrives as 0x69
    EXPECT_EQ(s.ReadBytes(4), "abcd");
    EXPECT_EQ(s.BufferedBytes(), 1u); // receives of 2 bytes: "e" is already here
    EXPECT_EQ(s.ReadBytes(0), "");    // one receive, nothing taken
    EXPECT_EQ(s.BufferedBytes(), 2u);
    EXPECT_EQ(s.ReadBytes(2), "ef");
}

TEST(WireSocket, WritingAndClosedStates)
{
    TWireSocket s;
    EXPECT_NO_THROW(s.WriteBuffer("", 0)); // nothing to send: fine without a socket
    EXPECT_THROW(s.WriteLine("x"), EWireClosedSocket);
    try {
        s.WriteLine("x");
    } catch (const EWireClosedSocket& e) {
        EXPECT_EQ(std::string(e.what()), "Socket is closed, cannot write");
    }
    // The peer closes: disconnected before the error is raised.
    AttachMemory(s, "partial line without end");
    try {
        s.ReadLine();
        ADD_FAILURE() << "no exception";
    } catch (const EWireConnClosedGraceful& e) {
        EXPECT_EQ(std::string(e.what()), "Connection Closed Gracefully.");
    }
    EXPECT_TRUE(s.ClosedGracefully);
    EXPECT_FALSE(s.Connected());
    // A read without a socket is a socket error, not a crash.
    EXPECT_THROW(s.ReadLine(), EWireSocketError);
}

TEST(WireSocket, LineWithoutEndIsCapped)
{
    TWireClient c;
    c.MaxLineLength = 100000;
    AttachMemory(c, std::string(300000, 'z'), 4096);
    try {
        c.ReadLine();
        ADD_FAILURE() << "no exception";
    } catch (const EWireLineTooLong& e) {
        EXPECT_NE(std::string(e.what()).find("100000"), std::string::npos);
    }
    EXPECT_FALSE(c.Connected());
    EXPECT_LT(c.BufferCapacity(), 200000u);

    // A long line under the cap is read whole.
    TWireSocket ok;
    AttachMemory(ok, std::string(50000, 'a') + "\r\n", 1000);
    EXPECT_EQ(ok.ReadLine().size(), 50000u);
}

TEST(WireSocket, StatusHandlerFailureGetsASuffixAndKeepsItsClass)
{
    TWireSocket s;
    s.OnStatus = [](TWire*, const std::string&) { throw EWireResponseError("boom"); };
    try {
        s.DoStatus("x");
        ADD_FAILURE() << "no exception";
    } catch (const EWireResponseError& e) {
        EXPECT_EQ(std::string(e.what()), "boom occurred in user's OnStatus Event.");
    }
    s.OnStatus = [](TWire*, const std::string&) { throw EWireSocketError(10054); };
    try {
        s.DoStatus("x");
        ADD_FAILURE() << "no exception";
    } catch (const EWireSocketError& e) {
        EXPECT_EQ(e.Code, 10054);
        EXPECT_EQ(std::string(e.what()), "Socket Error #10054\r\nConnection reset by peer. occurred in user's OnStatus Event.");
    }
    s.OnStatus = [](TWire*, const std::string&) { throw std::runtime_error("plain"); };
    EXPECT_THROW(
        {
            try {
                s.DoStatus("x");
            } catch (const std::runtime_error& e) {
                EXPECT_EQ(std::string(e.what()), "plain occurred in user's OnStatus Event.");
                throw;
            }
        },
        std::runtime_error);
}

TEST(WireClient, DisconnectReportsAndNeverRaises)
{
    TWireClient c;
    StatusLog log;
    log.hook(c);
    c.Disconnect();
    EXPECT_EQ(log.lines, (TStrings{"Disconnecting", "Disconnected"}));

    // A failing status handler does not keep the socket open.
    AttachMemory(c, "");
    c.OnStatus = [](TWire*, const std::string&) { throw std::runtime_error("handler"); };
    EXPECT_NO_THROW(c.Disconnect());
    EXPECT_FALSE(c.Connected());
}

TEST(WireClient, BufferChunkIsFixedWhileConnected)
{
    TWireClient c;
    c.SetBufferChunk(1024);
    EXPECT_EQ(c.BufferChunk(), 1024);
    EXPECT_EQ(c.BufferCapacity(), 1024u);
    AttachMemory(c, "");
    c.SetBufferChunk(4096);
    EXPECT_EQ(c.BufferChunk(), 1024);
    EXPECT_EQ(c.Version(), "1.0");
}
