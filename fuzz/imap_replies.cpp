// The IMAP client against a server whose every byte comes from the input.
// The first two bytes choose the chunk size of the replies, the login (as
// the server offers, AUTHENTICATE PLAIN, LOGIN), whether STARTTLS is asked
// for, and three steps after the login (3 bits each: examine, status,
// search, header fetch, message fetch, delete, IDLE with its wait and DONE,
// select); the rest is the server's side of the conversation, read as the
// client asks for it. Checked besides "no crash": only the documented
// failures come out, the component is idle after a failed login or a
// disconnect, a search gives ascending UIDs within their bound, a header
// fetch only what was asked for and each once, and nothing the server says
// leaks into a command line.
#include "FuzzSupport.h"
#include "wire/Imap.h"
#include "wire/MemoryTransport.h"
#include "wire/WireErrors.h"

#include <algorithm>
#include <string>

using namespace pelko;

namespace {

class RecordingTransport : public MemoryTransport {
public:
    RecordingTransport(std::string incoming, size_t chunk, std::string& sent)
        : MemoryTransport(std::move(incoming), chunk), sent_(sent)
    {
    }
    IoResult send(const char* data, size_t length) override
    {
        sent_.append(data, length);
        return IoResult::done(length);
    }

private:
    std::string& sent_;
};

bool knownCommand(const std::string& line)
{
    static const char* const untagged[] = {"DONE", "*", "AGpvZQBzZWNyZXQ="};
    for (const char* c : untagged)
        if (line == c)
            return true;
    // "A<n> command"
    size_t i = 1;
    if (line.empty() || line[0] != 'A')
        return false;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9')
        ++i;
    if (i == 1 || i >= line.size() || line[i] != ' ')
        return false;
    const std::string command = line.substr(i + 1);
    static const char* const tagged[] = {"CAPABILITY",
                                         "LOGOUT",
                                         "STARTTLS",
                                         "AUTHENTICATE PLAIN AGpvZQBzZWNyZXQ=",
                                         "AUTHENTICATE PLAIN",
                                         "LOGIN \"joe\" \"secret\"",
                                         "EXAMINE \"INBOX\"",
                                         "SELECT \"INBOX\"",
                                         "STATUS \"INBOX\" (MESSAGES UNSEEN UIDNEXT UIDVALIDITY)",
                                         "UID SEARCH UNSEEN",
                                         "UID SEARCH RETURN (ALL) UNSEEN",
                                         "UID FETCH 1:2,5 (BODY.PEEK[HEADER.FIELDS (FROM SUBJECT DATE)])",
                                         "UID FETCH 1 (BODY.PEEK[])",
                                         "UID STORE 1 +FLAGS.SILENT (\\Deleted)",
                                         "UID EXPUNGE 1",
                                         "EXPUNGE",
                                         "IDLE"};
    for (const char* c : tagged)
        if (command == c)
            return true;
    return false;
}

void Step(TWireIMAP& imap, int op, TWireMessage& m)
{
    switch (op) {
    case 0:
        imap.Examine();
        break;
    case 1:
        imap.Status();
        break;
    case 2: {
        const std::vector<uint32_t> uids = imap.UidSearch("UNSEEN");
        FUZZ_CHECK(uids.size() <= TWireIMAP::kMaxUids);
        FUZZ_CHECK(std::adjacent_find(uids.begin(), uids.end(), std::greater_equal<uint32_t>()) == uids.end());
        break;
    }
    case 3: {
        const std::vector<ImapHeaderFields> sets = imap.FetchHeaderFields({5, 1, 2, 2});
        std::vector<uint32_t> got;
        for (const ImapHeaderFields& h : sets) {
            FUZZ_CHECK(h.uid == 1 || h.uid == 2 || h.uid == 5);
            got.push_back(h.uid);
        }
        std::sort(got.begin(), got.end());
        FUZZ_CHECK(std::adjacent_find(got.begin(), got.end()) == got.end());
        break;
    }
    case 4:
        imap.FetchMessage(1, m);
        break;
    case 5:
        imap.DeleteMessage(1);
        break;
    case 6:
        if (imap.StartIdle()) {
            FUZZ_CHECK(imap.WaitIdle(10).size() <= 1000);
            if (imap.Connected())
                imap.StopIdle();
            FUZZ_CHECK(!imap.Idling());
        }
        break;
    case 7:
        imap.Select();
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::ScratchDir();
    if (size < 2)
        return 0;
    const uint16_t plan = static_cast<uint16_t>(data[0] | (data[1] << 8));
    const std::string replies(reinterpret_cast<const char*>(data + 2), size - 2);

    std::string sent;
    {
        TWireIMAP imap;
        imap.Host = (plan & 0x8000) ? "imap://127.0.0.1?starttls" : "imap://127.0.0.1";
        imap.UserID = "joe";
        imap.Password = "secret";
        const int login = (plan >> 13) & 0x03;
        imap.Mechanism = login == 1 ? ImapLogin::Plain : login == 2 ? ImapLogin::Login : ImapLogin::Automatic;
        imap.Timeout = 1000;
        imap.MaxLineLength = 64 * 1024;
        // Small enough for an input to reach them.
        imap.MaxReplyLines = 100;
        imap.MaxReplyBytes = 4096;
        imap.MaxMessageBytes = 8192;
        imap.TransportFactory = [&](const HostSpec&) -> std::unique_ptr<Transport> {
            return std::make_unique<RecordingTransport>(replies, (plan & 0x03) * 3, sent);
        };
        bool loggedIn = false;
        try {
            imap.Connect();
            loggedIn = true;
        } catch (const EWireException&) {
            FUZZ_CHECK(!imap.Connected());
        }
        TWireMessage m;
        for (int step = 0; loggedIn && step < 3; ++step) {
            try {
                Step(imap, (plan >> (2 + 3 * step)) & 0x07, m);
            } catch (const EWireException&) {
                // the connection went or a reply was refused
            }
            if (!imap.Connected())
                break;
        }
        imap.Disconnect(); // never raises
        FUZZ_CHECK(!imap.Connected());
    }

    // Every line the client wrote is one of its own commands.
    size_t start = 0;
    while (start < sent.size()) {
        const size_t end = sent.find("\r\n", start);
        if (end == std::string::npos)
            break; // a TLS handshake's bytes after STARTTLS
        if (!knownCommand(sent.substr(start, end - start)))
            break;
        start = end + 2;
    }
    // Past STARTTLS only the handshake's bytes follow.
    const size_t tls = sent.find("STARTTLS\r\n");
    FUZZ_CHECK(start == sent.size() || (tls != std::string::npos && start >= tls + 10));
    return 0;
}
