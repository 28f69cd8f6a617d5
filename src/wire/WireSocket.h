#pragma once
// TWireSocket: buffered line and byte I/O over the component's transport,
// command/response exchange (the replies read by the protocol's reply
// reader, see ReplyReader.h), status and progress events, time-outs.
#include "wire/ReceiveBuffer.h"
#include "wire/ReplyReader.h"
#include "wire/Wire.h"
#include "wire/WireErrors.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace pelko {

using TStrings = std::vector<std::string>;
using TStringEvent = std::function<void(TWire* Sender, const std::string& sOut)>;
using TProgressEvent = std::function<void(TWire* Sender, int32_t plWork, int32_t plWorkSize)>;
using TCaptureLineEvent = std::function<void(TWire* Sender, const std::string& line)>;
using TIdleEvent = std::function<void()>;

// The kinds of reply, as ResultCode holds them after ReadResponse: yes and
// no, as the protocol's reply reader judges a reply (POP3: "+OK" and
// "-ERR"); a reader may give other codes as well (see Pop3ReplyReader.h).
// kAnyReply is no reply: as SendCommand's expected code it takes any reply
// without raising.
enum ReplyCode : int16_t { kAnyReply = -1, kReplyErr = 0, kReplyOk = 1 };
// The command that sends nothing: SendCommand only reads a reply.
inline const std::string kNoCommand(1, '\0');
// SendCommand's status text that reports the reply line itself.
inline const std::string kStatusReplyLine = "*";

// WorkSize while a work period runs without a size given, and between work
// periods; the position DoWork gets when a period ends.
constexpr int32_t kNoWorkSize = -1;
constexpr int32_t kNoWorkPeriod = -2;
constexpr int64_t kWorkEnded = -1;

class TWireSocket : public TWire {
public:
    TWireSocket();
    ~TWireSocket() override;

    bool ClosedGracefully = false;
    bool UseNagle = true;
    std::string LogFile;          // protocol log created at connect time when set
    std::string LineEnd = "\r\n"; // line terminator for reading and writing
    bool ASCIIFilter = false;     // clear bit 7 of every received byte
    int16_t ResultCode = 0;
    int32_t LastReportedKiB = 0;
    int64_t WorkPosition = 0;
    int32_t WorkSize = 0; // the running period's size, kNoWorkSize or kNoWorkPeriod; 0 before the first
    std::string HostAddress;
    std::string ResultText;
    TStrings ResponseLines;

    // Milliseconds that a connect, a receive or a send may wait; 0 waits for ever.
    int Timeout = 60000;
    // Longest line accepted without a line end; longer raises EWireLineTooLong.
    size_t MaxLineLength = 1024 * 1024;
    // Most lines and bytes one reply may take (every line its reader reads:
    // its continuation lines and the blank lines before it included); past
    // either ReadResponse closes the connection without a word and raises
    // EWireReplyTooLong.
    size_t MaxReplyLines = 1000;
    size_t MaxReplyBytes = 256 * 1024;

    TStringEvent OnStatus;
    TCaptureLineEvent OnCaptureLine;
    TProgressEvent OnWork;
    // Called between waiting slices of about 30 ms while a connect, receive or
    // send waits (the GUI keeps painting from here), and as often while data
    // keeps arriving without a wait.
    TIdleEvent OnIdle;

    // ---- one operation's deadline ----
    // A listing or a message as a whole may take Timeout milliseconds plus
    // one second for every 64 KiB received meanwhile (kGrowsWithData): a
    // server that trickles a byte now and then cannot hold an operation for
    // ever, while a large message on a slow line still gets through. A login
    // takes Timeout at most, whatever arrives (kFixed). Without a Timeout
    // there is no deadline. Scopes nest; the outermost one counts.
    enum DeadlineKind { kGrowsWithData, kFixed };
    class DeadlineScope {
    public:
        explicit DeadlineScope(TWireSocket& s, DeadlineKind kind = kGrowsWithData);
        ~DeadlineScope();
        DeadlineScope(const DeadlineScope&) = delete;
        DeadlineScope& operator=(const DeadlineScope&) = delete;

    private:
        TWireSocket& s_;
        bool outermost_;
    };
    // The running operation's time starts again (a new address to try).
    void RestartDeadline();
    // Milliseconds the running operation has left (Timeout when none runs).
    int TimeLeftMs() const;

    // True from an established connection (or an attached transport) until
    // it is closed: a connect that failed or timed out gets nothing written.
    bool Established() const { return established_ && Connected(); }

    // ---- cancellation ----
    // Calls the running exchange off: the step that waits raises
    // EWireCancelled within one waiting slice, a step that receives before
    // its next receive, and so do every later wait, receive, send and
    // connect until ClearCancel. A cancelled connection is closed without
    // "Quit" (nothing more is written to a server that keeps us waiting).
    void Cancel() { cancelled_ = true; }
    bool Cancelled() const { return cancelled_; }
    void ClearCancel() { cancelled_ = false; }

    int32_t BufferChunk() const { return bufferChunk_; }
    void SetBufferChunk(int32_t value);

    // Receive buffer, for inspection.
    size_t BufferCapacity() const { return buffer_.capacity(); }
    size_t BufferedBytes() const { return buffer_.held(); }

    std::string ReadLine();
    // The next line without copying; valid until the next read on this component.
    std::string_view ReadLineView();
    std::string ReadTrimmedLine();
    virtual std::string ReadBytes(int32_t count);
    void WriteLine(const std::string& text);
    void WriteBuffer(const char* data, size_t length);
    // ---- replies ----
    // The reader of the replies of the protocol spoken here; the client
    // sets it. ReadResponse without one raises EWireException.
    void SetReplyReader(std::unique_ptr<ReplyReader> reader) { replyReader_ = std::move(reader); }
    ReplyReader& Replies() const;
    // Reads one reply with the reply reader: sets ResultCode, ResultText and
    // ResponseLines (emptied first), and returns ResultCode.
    int16_t ReadResponse();
    // The next line of the reply ReadResponse is reading, counted against
    // MaxReplyLines and MaxReplyBytes (for the reply reader).
    std::string_view ReadReplyLine();
    // Writes a line the reply reader took as the reply's to the protocol log.
    void LogReplyLine(const std::string& line);
    // kNoCommand reads a response without sending anything. expected
    // kAnyReply accepts any code; status kStatusReplyLine reports the reply line.
    // A command holding CR or LF is refused (EWireException
    // kLineBreakInCommandText) before anything is sent.
    virtual int16_t SendCommand(const std::string& command, int16_t expected, uint8_t indent,
                                const std::string& statusText);

    void BeginWork(int32_t size = kNoWorkSize);
    void EndWork();
    virtual void DoWork(int64_t position);
    virtual void DoStatus(const std::string& text);

    // Uses transport as an established connection (a message stored in a
    // file is read this way). The component must not be connected.
    void AttachTransport(std::unique_ptr<Transport> transport);
    // Replaces the transport in place, e.g. to start TLS after a greeting.
    // Refused (EWireException) while received bytes are still unread.
    void UpgradeTransport(const std::function<std::unique_ptr<Transport>(std::unique_ptr<Transport>)>& wrap);

protected:
    // One receive into the buffer (raises on close and errors).
    void FillBuffer();
    std::string TakeFromBuffer(size_t count);
    // Runs a transport operation, waiting for readiness in slices until the
    // time-out; returns the first answer that is not a wait.
    IoResult Transfer(const std::function<IoResult()>& op);
    void WaitReady(bool forWrite, std::chrono::steady_clock::time_point deadline);
    void CheckGracefulClose();
    void ResetBuffer() { buffer_.reset(); }
    bool established_ = false;
    void OpenLog();
    void CloseLog();
    void LogText(const std::string& text);
    void ThrowIfCancelled() const
    {
        if (cancelled_)
            throw EWireCancelled();
    }

private:
    std::chrono::steady_clock::time_point OperationDeadline() const;

    // Lets the owner in while data keeps arriving (OnIdle at most once a
    // waiting slice).
    void IdleBetweenReceives();

    bool deadlineActive_ = false;
    bool deadlineGrows_ = true;
    std::chrono::steady_clock::time_point deadlineStart_;
    std::chrono::steady_clock::time_point lastIdle_;
    uint64_t deadlineBytes_ = 0;
    std::atomic<bool> cancelled_{false}; // set from the owner's thread
    std::unique_ptr<ReplyReader> replyReader_;
    size_t replyLines_ = 0; // what the reply being read has taken so far
    size_t replyBytes_ = 0;
    int32_t bufferChunk_ = 8192;
    ReceiveBuffer buffer_;
    std::FILE* log_ = nullptr;
};

} // namespace pelko
