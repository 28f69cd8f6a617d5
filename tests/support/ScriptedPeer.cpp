#include "ScriptedPeer.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace pelko {

namespace {

std::string Rest(const std::string& line, size_t from)
{
    return from >= line.size() ? std::string() : line.substr(from);
}

std::string FromHex(const std::string& hex)
{
    std::string out;
    int nibble = -1;
    for (char c : hex) {
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else
            continue;
        if (nibble < 0) {
            nibble = v;
        } else {
            out += static_cast<char>(nibble * 16 + v);
            nibble = -1;
        }
    }
    return out;
}

} // namespace

std::vector<PeerStep> ScriptedPeer::ParseScript(const std::string& text)
{
    std::vector<PeerStep> steps;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos)
            nl = text.size();
        std::string line = text.substr(pos, nl - pos);
        pos = nl + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty() || line[0] == '#' || line[0] == '@')
            continue;
        if (line.rfind("S: ", 0) == 0 || line == "S:")
            steps.push_back({PeerStep::Send, Rest(line, 3) + "\r\n"});
        else if (line.rfind("LF: ", 0) == 0 || line == "LF:")
            steps.push_back({PeerStep::Send, Rest(line, 4) + "\n"});
        else if (line.rfind("SRAW: ", 0) == 0)
            steps.push_back({PeerStep::Send, Rest(line, 6)});
        else if (line.rfind("RAW ", 0) == 0)
            steps.push_back({PeerStep::Send, FromHex(Rest(line, 4))});
        else if (line.rfind("C: ", 0) == 0 || line == "C:")
            steps.push_back({PeerStep::Expect, Rest(line, 3)});
        else if (line == "C*")
            steps.push_back({PeerStep::ExpectAny, ""});
        else if (line == "CLOSE")
            steps.push_back({PeerStep::Close, ""});
        else if (line.rfind("STALL ", 0) == 0)
            steps.push_back({PeerStep::Stall, "", std::stoi(Rest(line, 6))});
        else if (line.rfind("REPEAT ", 0) == 0) {
            const std::string rest = Rest(line, 7);
            const size_t sp = rest.find(' ');
            steps.push_back({PeerStep::Repeat, sp == std::string::npos ? "" : rest.substr(sp + 1),
                             std::stoi(rest.substr(0, sp))});
        } else if (line.rfind("FLOOD ", 0) == 0) {
            const std::string rest = Rest(line, 6);
            const size_t sp = rest.find(' ');
            const std::string bytes = sp == std::string::npos ? "" : FromHex(rest.substr(sp + 1));
            if (bytes.empty())
                throw std::runtime_error("bad script line: " + line);
            steps.push_back({PeerStep::Flood, bytes, std::stoi(rest.substr(0, sp))});
        } else
            throw std::runtime_error("bad script line: " + line);
    }
    return steps;
}

ScriptedPeer::ScriptedPeer(const std::string& scriptText) : ScriptedPeer(ParseScript(scriptText)) {}

ScriptedPeer::ScriptedPeer(std::vector<PeerStep> steps) : steps_(std::move(steps))
{
    listenFd_ = ListenOnLoopback(4, &port_);
    thread_ = std::thread([this] { run(); });
}

ScriptedPeer::~ScriptedPeer()
{
    stopThread();
    if (listenFd_ >= 0)
        ::close(listenFd_);
}

void PeerRecord::stopThread()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
}

bool PeerRecord::finish(int timeoutMs)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done_ && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const bool clean = done_;
    stopThread();
    return clean;
}

std::string PeerRecord::received() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

std::vector<std::string> PeerRecord::mismatches() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return mismatches_;
}

void PeerRecord::note(const std::string& problem)
{
    std::lock_guard<std::mutex> lock(mutex_);
    mismatches_.push_back(problem);
}

void PeerRecord::record(const char* data, size_t length)
{
    std::lock_guard<std::mutex> lock(mutex_);
    received_.append(data, length);
}

std::string ScriptedPeer::expectedClientBytes() const
{
    std::string out;
    for (const PeerStep& s : steps_)
        if (s.kind == PeerStep::Expect)
            out += s.text + "\r\n";
    return out;
}

// Reads one CR LF line from the client (recording the bytes); false when the
// client closed or the peer is stopped.
bool ScriptedPeer::readLine(int fd, std::string& line)
{
    return ReadLineWith(pending_, line, [this, fd] {
        std::string got;
        if (!ReceiveSome(fd, stop_, got))
            return false;
        record(got.data(), got.size());
        pending_ += got;
        return true;
    });
}

bool ReadLineWith(std::string& pending, std::string& line, const std::function<bool()>& readMore)
{
    for (;;) {
        const size_t crlf = pending.find("\r\n");
        if (crlf != std::string::npos) {
            line = pending.substr(0, crlf);
            pending.erase(0, crlf + 2);
            return true;
        }
        if (!readMore())
            return false;
    }
}

bool ReceiveSome(int fd, const std::atomic<bool>& stop, std::string& out)
{
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int r = ::poll(&p, 1, 20);
        if (stop)
            return false;
        if (r <= 0)
            continue;
        char buf[65536];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            return false;
        out.append(buf, static_cast<size_t>(n));
        return true;
    }
}

int ListenOnLoopback(int backlog, int* port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw std::runtime_error("peer: socket failed");
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a;
    std::memset(&a, 0, sizeof a);
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd, backlog) != 0) {
        ::close(fd);
        throw std::runtime_error("peer: bind/listen failed");
    }
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    *port = ntohs(a.sin_port);
    return fd;
}

bool SendAllBytes(int fd, const std::string& bytes)
{
    size_t off = 0;
    while (off < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        off += static_cast<size_t>(n);
    }
    return true;
}

bool PlayPeerStep(const PeerStep& step, const PeerLink& link)
{
    switch (step.kind) {
    case PeerStep::Send:
        link.send(step.text);
        return true;
    case PeerStep::Repeat: {
        // Sent in pieces: a listing of millions of lines needs no copy of its own.
        std::string block;
        for (int i = 1; i <= step.number && !link.stop; ++i) {
            block += std::to_string(i) + " " + step.text + "\r\n";
            if (block.size() >= 1 << 20 || i == step.number) {
                link.send(block);
                block.clear();
            }
        }
        return true;
    }
    case PeerStep::Flood: {
        // In blocks of about 64 KiB; an endless one goes on until the client
        // has gone (or the peer is stopped).
        int left = step.number;
        std::string block;
        while (!link.stop && !(link.clientGone && link.clientGone())) {
            block.clear();
            while (block.size() < 64 * 1024 && (step.number == 0 || left > 0)) {
                block += step.text;
                if (step.number != 0)
                    --left;
            }
            if (block.empty())
                break;
            link.send(block);
        }
        return true;
    }
    case PeerStep::Expect:
    case PeerStep::ExpectAny: {
        std::string line;
        if (!link.readLine(line)) {
            link.note("client closed before sending: " + step.text);
            return false;
        }
        if (step.kind == PeerStep::Expect && line != step.text)
            link.note("expected \"" + step.text + "\", got \"" + line + "\"");
        return true;
    }
    case PeerStep::Close:
        return false;
    case PeerStep::Stall: {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(step.number);
        while (!link.stop && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return true;
    }
    }
    return true;
}

void ScriptedPeer::run()
{
    int fd = -1;
    while (!stop_) {
        pollfd p{listenFd_, POLLIN, 0};
        if (::poll(&p, 1, 20) > 0) {
            fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            break;
        }
    }
    if (fd < 0) {
        done_ = true;
        return;
    }
    bool gone = false;
    const PeerLink link{[fd, &gone](const std::string& bytes) { gone = !SendAllBytes(fd, bytes) || gone; },
                        [this, fd](std::string& line) { return readLine(fd, line); },
                        [this](const std::string& problem) { note(problem); }, stop_, [&gone] { return gone; }};
    for (const PeerStep& step : steps_) {
        if (stop_)
            break;
        if (!PlayPeerStep(step, link)) {
            if (step.kind == PeerStep::Close) {
                ::close(fd);
                fd = -1;
            }
            break;
        }
    }
    // Record whatever else the client sends until it closes.
    if (fd >= 0) {
        std::string line;
        while (readLine(fd, line))
            note("unexpected client line \"" + line + "\"");
        if (!pending_.empty())
            note("unterminated client bytes \"" + pending_ + "\"");
        ::close(fd);
    }
    done_ = true;
}

} // namespace pelko
