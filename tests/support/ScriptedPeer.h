#pragma once
// A one-connection server for protocol tests: a thread listening on
// 127.0.0.1 (a free port) that plays a script of steps and records every byte
// the client sends.
//
// Script text, one step per line:
//   S: text      send text + CR LF
//   LF: text     send text + LF only
//   SRAW: text   send text as it is (no line end)
//   RAW hex      send the bytes given in hexadecimal ("2e0d0a")
//   C: text      expect the client line text (recorded as a mismatch otherwise)
//   C*           expect any one client line
//   CLOSE        close the connection
//   STALL ms     send nothing for ms milliseconds
//   REPEAT n text   send "i text" + CR LF for i = 1..n (long listings)
//   FLOOD n hex  send the bytes given in hexadecimal n times over, or with
//                n = 0 again and again until the client goes away
// Lines starting with "#" or "@" and empty lines are not steps (the test
// runner reads "@" lines itself). After the last step the peer keeps
// reading (and recording) until the client closes.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pelko {

struct PeerStep {
    enum Kind { Send, Expect, ExpectAny, Close, Stall, Repeat, Flood } kind;
    std::string text; // bytes to send, or the expected line
    int number = 0;   // Stall: milliseconds; Repeat, Flood: count
};

// The connection a step is played on, as the peers each reach it.
struct PeerLink {
    std::function<void(const std::string& bytes)> send;
    std::function<bool(std::string& line)> readLine; // false once the client closed
    std::function<void(const std::string& problem)> note;
    const std::atomic<bool>& stop;
    // True once a send found the client gone (an endless flood stops there).
    std::function<bool()> clientGone = nullptr;
};

// Plays one step. Returns false when the connection is over: the client
// closed, or the step is CLOSE (the caller then closes its end).
bool PlayPeerStep(const PeerStep& step, const PeerLink& link);

// Takes one CR LF line off the front of pending, calling readMore (which
// appends to pending) until a whole line is there; false once readMore is.
bool ReadLineWith(std::string& pending, std::string& line, const std::function<bool()>& readMore);

// Waits for client bytes on fd, polling so that a stop is seen, and appends
// what one read gives to out. False when the client closed or stop is set.
bool ReceiveSome(int fd, const std::atomic<bool>& stop, std::string& out);

// A listening TCP socket on 127.0.0.1 at a free port (raises when none).
int ListenOnLoopback(int backlog, int* port);

// Sends every byte unless the client went away (what it sent stays
// recorded); false then.
bool SendAllBytes(int fd, const std::string& bytes);

// What every scripted server keeps: the thread that plays its script, the
// bytes the client sent and the problems noted on the way.
class PeerRecord {
public:
    // Waits until the script is played and the client has closed (at most
    // timeoutMs); false when it had to be stopped.
    bool finish(int timeoutMs = 5000);
    std::string received() const;
    std::vector<std::string> mismatches() const;

protected:
    PeerRecord() = default;
    ~PeerRecord() = default;
    PeerRecord(const PeerRecord&) = delete;
    PeerRecord& operator=(const PeerRecord&) = delete;

    // Stops the script and waits for its thread.
    void stopThread();
    void note(const std::string& problem);
    void record(const char* data, size_t length);

    std::atomic<bool> stop_{false};
    std::atomic<bool> done_{false};
    std::thread thread_;

private:
    mutable std::mutex mutex_;
    std::string received_;
    std::vector<std::string> mismatches_;
};

class ScriptedPeer : public PeerRecord {
public:
    explicit ScriptedPeer(std::vector<PeerStep> steps);
    explicit ScriptedPeer(const std::string& scriptText);
    ~ScriptedPeer();

    static std::vector<PeerStep> ParseScript(const std::string& text);

    int port() const { return port_; }
    // The client lines the script expects, concatenated with CR LF.
    std::string expectedClientBytes() const;

private:
    void run();
    bool readLine(int fd, std::string& line);

    std::vector<PeerStep> steps_;
    int listenFd_ = -1;
    int port_ = 0;
    std::string pending_; // received but not yet taken as a line
};

} // namespace pelko
