// The POP3 client against a server whose every byte comes from the input.
// The first byte chooses the chunk size of the replies and the steps after
// the login (2 bits each: count, fetch, headers, delete); the rest is the
// server's side of the conversation, read as the client asks for it.
// Checked besides "no crash": only the documented failures come out, the
// count never goes below zero, the component is idle after a failed login or
// a disconnect, and nothing the server says leaks into a command line.
#include "FuzzSupport.h"
#include "wire/MemoryTransport.h"
#include "wire/Pop3.h"
#include "wire/WireErrors.h"

#include <string>

using namespace pelko;

namespace {

// Hands the client's bytes to a string that outlives the connection.
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
    // "AUTH PLAIN" (user joe, password secret) follows a refused "User";
    // "*" ends that exchange when the server answers with a challenge.
    static const char* const exact[] = {"User joe", "Pass secret", "UIDL", "STAT", "Quit", "RETR 1", "TOP 1 0",
                                        "DELE 1", "RETR 2", "TOP 2 0", "DELE 2", "AUTH PLAIN AGpvZQBzZWNyZXQ=",
                                        "*"};
    for (const char* c : exact)
        if (line == c)
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::ScratchDir();
    if (size < 1)
        return 0;
    const uint8_t plan = data[0];
    const std::string replies(reinterpret_cast<const char*>(data + 1), size - 1);

    std::string sent;
    {
        TWirePOP3 pop;
        pop.Host = "127.0.0.1";
        pop.UserID = "joe";
        pop.Password = "secret";
        pop.Timeout = 1000;
        pop.MaxLineLength = 64 * 1024;
        // Small enough for an input to reach them (replies that never end).
        pop.MaxReplyLines = 100;
        pop.MaxReplyBytes = 4096;
        pop.TransportFactory = [&](const HostSpec&) -> std::unique_ptr<Transport> {
            return std::make_unique<RecordingTransport>(replies, (plan & 0x03) * 3, sent);
        };
        bool loggedIn = false;
        try {
            pop.Connect();
            loggedIn = true;
        } catch (const EWireException&) {
            FUZZ_CHECK(!pop.Connected());
        }
        TWireMessage m;
        for (int step = 0; loggedIn && step < 3; ++step) {
            const int n = 1 + (step & 1);
            try {
                switch ((plan >> (2 + 2 * step)) & 0x03) {
                case 0: {
                    const int32_t count = pop.CheckMessages(); // never raises
                    FUZZ_CHECK(count >= 0);
                    break;
                }
                case 1:
                    pop.RetrieveMessage(n, m);
                    break;
                case 2:
                    pop.RetrieveHeaders(n, m);
                    break;
                case 3:
                    pop.DeleteMessage(n);
                    break;
                }
            } catch (const EWireException&) {
                // the connection went or a reply was refused
            }
            if (!pop.Connected())
                break;
        }
        try {
            pop.Disconnect();
        } catch (const EWireException&) {
        }
        FUZZ_CHECK(!pop.Connected());
    }

    // Every line the client wrote is one of its own commands.
    size_t start = 0;
    while (start < sent.size()) {
        const size_t end = sent.find("\r\n", start);
        FUZZ_CHECK(end != std::string::npos);
        FUZZ_CHECK(knownCommand(sent.substr(start, end - start)));
        start = end + 2;
    }
    return 0;
}
