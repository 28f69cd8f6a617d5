#pragma once
// Helpers for the protocol tests: in-memory connections and line-end fixes.
#include "wire/MemoryTransport.h"
#include "wire/WireSocket.h"

#include <memory>
#include <string>
#include <vector>

namespace pelko::test {

// "a\nb\n" -> "a\r\nb\r\n" (test texts are written with \n).
inline std::string Crlf(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

// Connects c to an in-memory peer that sends bytes; returns the transport
// (owned by c) to look at what c wrote.
inline MemoryTransport* AttachMemory(TWireSocket& c, const std::string& bytes, size_t maxChunk = 0)
{
    auto t = std::make_unique<MemoryTransport>(bytes, maxChunk);
    MemoryTransport* raw = t.get();
    c.AttachTransport(std::move(t));
    return raw;
}

struct StatusLog {
    std::vector<std::string> lines;
    void hook(TWireSocket& c)
    {
        c.OnStatus = [this](TWire*, const std::string& s) { lines.push_back(s); };
    }
};

} // namespace pelko::test
