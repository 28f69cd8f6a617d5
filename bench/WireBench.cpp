// The protocol stack's bulk paths: counting a long UIDL listing and parsing
// a large message with a Base64 attachment into its temporary file.
#include "wire/MemoryTransport.h"
#include "wire/Pop3.h"
#include "wire/Transport.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <sys/resource.h>

namespace {

std::string UidlListing(int lines)
{
    std::string s = "+OK\r\n";
    s.reserve(static_cast<size_t>(lines) * 32);
    for (int i = 1; i <= lines; ++i)
        s += std::to_string(i) + " 000" + std::to_string(i * 7919) + "4e0b0c4d5a6f\r\n";
    s += ".\r\n";
    return s;
}

// 100,000 listing lines from the in-memory transport: the cost of a count is
// the cost of its bytes (no per-line receive, no moving of the buffer).
void BM_CountUidlListing(benchmark::State& state)
{
    const int lines = static_cast<int>(state.range(0));
    const std::string listing = UidlListing(lines);
    size_t receives = 0;
    for (auto _ : state) {
        state.PauseTiming();
        pelko::TWirePOP3 pop;
        auto t = std::make_unique<pelko::MemoryTransport>(listing);
        pelko::MemoryTransport* raw = t.get();
        pop.AttachTransport(std::move(t));
        state.ResumeTiming();
        const int32_t n = pop.CheckMessages();
        if (n != lines) {
            state.SkipWithError("wrong count");
            break;
        }
        receives = raw->receiveCalls();
        state.PauseTiming();
        pop.CloseSocket();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(listing.size()));
    state.counters["lines"] = lines;
    state.counters["receives"] = static_cast<double>(receives);
    state.counters["bytes_per_receive"] = receives ? static_cast<double>(listing.size()) / receives : 0;
}
BENCHMARK(BM_CountUidlListing)->Arg(100000)->Unit(benchmark::kMillisecond);

// A message produced on the fly: header, a text part, then `size` bytes of
// attachment as 76-character Base64 lines, so the benchmark itself holds no
// copy of it and the process size shows what the parser keeps.
class GeneratedMessage : public pelko::Transport {
public:
    explicit GeneratedMessage(size_t attachmentBytes) : lines_((attachmentBytes + 56) / 57)
    {
        head_ = "+OK message follows\r\n"
                "From: Bench <bench@example.org>\r\n"
                "Subject: large attachment\r\n"
                "Content-Type: multipart/mixed; boundary=\"bench-boundary\"\r\n"
                "\r\n"
                "--bench-boundary\r\n"
                "Content-Type: text/plain\r\n"
                "\r\n"
                "See the attachment.\r\n"
                "--bench-boundary\r\n"
                "Content-Type: application/octet-stream\r\n"
                "Content-Transfer-Encoding: base64\r\n"
                "Content-Disposition: attachment; filename=\"big.bin\"\r\n"
                "\r\n";
        tail_ = "--bench-boundary--\r\n.\r\n";
        // 57 bytes 0..56 encoded: one 76-character line.
        line_ = "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4\r\n";
        total_ = head_.size() + lines_ * line_.size() + tail_.size();
    }
    bool open() override { return true; }
    pelko::IoResult connect(const sockaddr*, socklen_t) override { return pelko::IoResult::done(); }
    pelko::IoResult finishConnect() override { return pelko::IoResult::done(); }
    pelko::IoResult send(const char*, size_t n) override { return pelko::IoResult::done(n); }
    bool setNoDelay() override { return true; }
    int pollFd() const override { return -1; }
    int close() override { return 0; }
    pelko::IoResult recv(char* data, size_t length) override
    {
        size_t n = 0;
        while (n < length && pos_ < total_) {
            const std::string* part;
            size_t off;
            const size_t bodyStart = head_.size();
            const size_t bodyEnd = bodyStart + lines_ * line_.size();
            if (pos_ < bodyStart) {
                part = &head_;
                off = pos_;
            } else if (pos_ < bodyEnd) {
                part = &line_;
                off = (pos_ - bodyStart) % line_.size();
            } else {
                part = &tail_;
                off = pos_ - bodyEnd;
            }
            const size_t k = std::min(length - n, part->size() - off);
            std::memcpy(data + n, part->data() + off, k);
            n += k;
            pos_ += k;
        }
        if (n == 0)
            return {pelko::IoState::Closed, 0, 0};
        return pelko::IoResult::done(n);
    }
    size_t total() const { return total_; }

private:
    std::string head_, line_, tail_;
    size_t lines_;
    size_t total_ = 0;
    size_t pos_ = 0;
};

long PeakRssKiB()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

void BM_ParseLargeAttachment(benchmark::State& state)
{
    const size_t bytes = static_cast<size_t>(state.range(0)) << 20;
    size_t wire = 0;
    const long rssBefore = PeakRssKiB();
    for (auto _ : state) {
        state.PauseTiming();
        pelko::TWirePOP3 pop;
        auto t = std::make_unique<GeneratedMessage>(bytes);
        wire = t->total();
        pop.AttachTransport(std::move(t));
        pelko::TWireMessage m;
        state.ResumeTiming();
        if (!pop.RetrieveMessage(1, m) || m.Attachments.size() != 1) {
            state.SkipWithError("message not parsed");
            break;
        }
        state.PauseTiming();
        m.Clear(); // removes the temporary file
        pop.CloseSocket();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(wire));
    state.counters["attachment_MB"] = static_cast<double>(bytes >> 20);
    state.counters["peak_rss_growth_KiB"] = static_cast<double>(PeakRssKiB() - rssBefore);
}
BENCHMARK(BM_ParseLargeAttachment)->Arg(20)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
