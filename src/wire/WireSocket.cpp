#include "wire/WireSocket.h"

#include "wire/SocketErrors.h"
#include "mime/TextUtil.h"
#include "wire/WireErrors.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <poll.h>

namespace pelko {

namespace {

constexpr int kWaitSliceMs = 30;

int32_t Clamp32(int64_t v)
{
    if (v > std::numeric_limits<int32_t>::max())
        return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min())
        return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

} // namespace

TWireSocket::TWireSocket() : lastIdle_(std::chrono::steady_clock::now()) {}

TWireSocket::~TWireSocket()
{
    CloseLog();
}

void TWireSocket::SetBufferChunk(int32_t value)
{
    if (Connected() || value < 1)
        return;
    bufferChunk_ = value;
    buffer_.setCapacity(static_cast<size_t>(value));
}

TWireSocket::DeadlineScope::DeadlineScope(TWireSocket& s, DeadlineKind kind) : s_(s), outermost_(!s.deadlineActive_)
{
    if (outermost_ && s_.Timeout > 0) {
        s_.deadlineActive_ = true;
        s_.deadlineGrows_ = kind == kGrowsWithData;
        s_.RestartDeadline();
    }
}

TWireSocket::DeadlineScope::~DeadlineScope()
{
    if (outermost_)
        s_.deadlineActive_ = false;
}

void TWireSocket::RestartDeadline()
{
    deadlineStart_ = std::chrono::steady_clock::now();
    deadlineBytes_ = 0;
}

std::chrono::steady_clock::time_point TWireSocket::OperationDeadline() const
{
    constexpr uint64_t kBytesPerExtraSecond = 64 * 1024;
    const auto end = deadlineStart_ + std::chrono::milliseconds(Timeout);
    return deadlineGrows_ ? end + std::chrono::seconds(deadlineBytes_ / kBytesPerExtraSecond) : end;
}

int TWireSocket::TimeLeftMs() const
{
    if (!deadlineActive_)
        return Timeout;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(OperationDeadline() -
                                                                            std::chrono::steady_clock::now())
                          .count();
    // 0 would mean "no limit" to the callers: at least one millisecond.
    return static_cast<int>(std::clamp<long long>(left, 1, std::numeric_limits<int>::max()));
}

void TWireSocket::WaitReady(bool forWrite, std::chrono::steady_clock::time_point deadline)
{
    const int fd = transport_ ? transport_->pollFd() : -1;
    const uint64_t generation = TransportGeneration();
    for (;;) {
        ThrowIfCancelled();
        if (deadlineActive_)
            deadline = std::min(deadline, OperationDeadline());
        int slice = kWaitSliceMs;
        if (Timeout > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                                  deadline - std::chrono::steady_clock::now())
                                  .count();
            if (left <= 0)
                throw EWireSocketError(kWsaTimedOut);
            slice = static_cast<int>(std::min<long long>(slice, left));
        }
        if (fd < 0)
            throw EWireSocketError(kWsaNotSocket); // nothing to wait on
        pollfd p{fd, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
        const int r = ::poll(&p, 1, slice);
        if (r > 0)
            return; // ready, or an error/hang-up the next call will report
        if (r < 0 && errno != EINTR) {
            SetLastSocketError(WsaCodeFromErrno(errno));
            CheckSocketResult(kSocketCallFailed, {});
        }
        if (OnIdle) {
            lastIdle_ = std::chrono::steady_clock::now();
            OnIdle();
            ThrowIfCancelled();
            // The hook may have closed or replaced the connection.
            if (TransportGeneration() != generation || !transport_)
                throw EWireSocketError(kWsaNotSocket);
        }
    }
}

IoResult TWireSocket::Transfer(const std::function<IoResult()>& op)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(Timeout);
    for (;;) {
        // A peer that always has a byte ready never makes us wait: a cancel
        // and the operation's deadline are looked at before every call as well.
        ThrowIfCancelled();
        if (deadlineActive_ && std::chrono::steady_clock::now() >= OperationDeadline())
            throw EWireSocketError(kWsaTimedOut);
        const IoResult r = op();
        if (r.state == IoState::WantRead || r.state == IoState::WantWrite)
            WaitReady(r.state == IoState::WantWrite, deadline);
        else
            return r;
    }
}

void TWireSocket::CheckGracefulClose()
{
    if (ClosedGracefully) {
        Disconnect();
        throw EWireConnClosedGraceful(kClosedGracefullyText);
    }
}

void TWireSocket::FillBuffer()
{
    if (!transport_) {
        SetLastSocketError(kWsaNotSocket);
        CheckSocketResult(kSocketCallFailed, {});
    }
    size_t room = 0;
    char* dst = buffer_.prepareFill(static_cast<size_t>(bufferChunk_), &room, ReceiveBuffer::kFillBlock);
    const IoResult r = Transfer([this, &dst, &room] {
        // Taken afresh on every attempt: the idle hook may have read on this
        // component while we waited.
        dst = buffer_.freeSpace(&room);
        if (room == 0)
            dst = buffer_.prepareFill(static_cast<size_t>(bufferChunk_), &room, ReceiveBuffer::kFillBlock);
        return transport_->recv(dst, room);
    });
    ClosedGracefully = r.state == IoState::Closed;
    if (r.state == IoState::Failed) {
        SetLastSocketError(r.error);
        if (CheckSocketResult(kSocketCallFailed, {kWsaShutdown})) {
            Disconnect();
            throw EWireSocketError(kWsaShutdown);
        }
    }
    if (r.state == IoState::Done && r.bytes > 0) {
        if (ASCIIFilter)
            for (size_t i = 0; i < r.bytes; ++i)
                dst[i] = static_cast<char>(dst[i] & 0x7F);
        buffer_.commit(r.bytes);
        deadlineBytes_ += r.bytes;
        DoWork(WorkPosition + static_cast<int64_t>(r.bytes));
    }
    CheckGracefulClose();
    if (r.state == IoState::Done && r.bytes > 0)
        IdleBetweenReceives();
}

void TWireSocket::IdleBetweenReceives()
{
    if (!OnIdle)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now - lastIdle_ < std::chrono::milliseconds(kWaitSliceMs))
        return;
    lastIdle_ = now;
    const uint64_t generation = TransportGeneration();
    OnIdle(); // a cancel asked for here stops the next receive
    // The hook may have closed or replaced the connection.
    if (TransportGeneration() != generation || !transport_)
        throw EWireSocketError(kWsaNotSocket);
}

std::string TWireSocket::TakeFromBuffer(size_t count)
{
    if (count > buffer_.held())
        throw std::runtime_error(kNotEnoughDataText);
    std::string out(buffer_.peek(count));
    buffer_.consume(count);
    return out;
}

std::string_view TWireSocket::ReadLineView()
{
    for (;;) {
        const size_t at = buffer_.findLineEnd(LineEnd);
        if (at != ReceiveBuffer::npos) {
            const std::string_view line = buffer_.peek(at);
            buffer_.consume(at + LineEnd.size());
            // The bytes stay in place until the next receive is prepared.
            return line;
        }
        if (buffer_.held() > MaxLineLength) {
            Disconnect();
            throw EWireLineTooLong(LineTooLongText(MaxLineLength));
        }
        FillBuffer();
    }
}

std::string TWireSocket::ReadLine()
{
    return std::string(ReadLineView());
}

std::string TWireSocket::ReadTrimmedLine()
{
    for (;;) {
        std::string line = Trim(ReadLine());
        if (!line.empty())
            return line;
    }
}

std::string TWireSocket::ReadBytes(int32_t count)
{
    if (count <= 0) {
        FillBuffer();
        return std::string();
    }
    while (buffer_.held() < static_cast<size_t>(count))
        FillBuffer();
    return TakeFromBuffer(static_cast<size_t>(count));
}

void TWireSocket::WriteLine(const std::string& text)
{
    std::string line;
    line.reserve(text.size() + LineEnd.size());
    line.append(text).append(LineEnd);
    WriteBuffer(line.data(), line.size());
}

void TWireSocket::WriteBuffer(const char* data, size_t length)
{
    if (length == 0)
        return;
    if (!Connected())
        throw EWireClosedSocket(kClosedSocketText);
    size_t sent = 0;
    while (sent < length) {
        if (!transport_)
            throw EWireClosedSocket(kClosedSocketText);
        const char* from = data + sent;
        const size_t rest = length - sent;
        const IoResult r = Transfer([this, from, rest] { return transport_->send(from, rest); });
        ClosedGracefully = r.state == IoState::Closed;
        CheckGracefulClose();
        if (r.state == IoState::Failed) {
            SetLastSocketError(r.error);
            if (CheckSocketResult(kSocketCallFailed, {kWsaShutdown})) {
                Disconnect();
                throw EWireSocketError(kWsaShutdown);
            }
        }
        sent += r.bytes;
    }
}

ReplyReader& TWireSocket::Replies() const
{
    if (!replyReader_)
        throw EWireException("No reply reader: this connection does not know its protocol's replies.");
    return *replyReader_;
}

std::string_view TWireSocket::ReadReplyLine()
{
    const std::string_view line = ReadLineView();
    ++replyLines_;
    replyBytes_ += line.size() + LineEnd.size();
    if (replyLines_ > MaxReplyLines || replyBytes_ > MaxReplyBytes) {
        // Out of step with a server that does not end its reply: nothing
        // more is written to it.
        established_ = false;
        Disconnect();
        throw EWireReplyTooLong(ReplyTooLongText(MaxReplyLines, MaxReplyBytes));
    }
    return line;
}

void TWireSocket::LogReplyLine(const std::string& line)
{
    LogText("I: " + line + "\r\n\r\n");
}

int16_t TWireSocket::ReadResponse()
{
    ReplyReader& reader = Replies();
    ResponseLines.clear();
    replyLines_ = 0;
    replyBytes_ = 0;
    reader.ReadReply(*this);
    return ResultCode;
}

int16_t TWireSocket::SendCommand(const std::string& command, int16_t expected, uint8_t indent,
                                 const std::string& statusText)
{
    if (command != kNoCommand) {
        if (command.find_first_of("\r\n") != std::string::npos)
            throw EWireException(kLineBreakInCommandText);
        LogText("O: " + command + "\r\n");
        WriteLine(command);
    }
    ReadResponse();
    if (expected >= 0 && expected != ResultCode) // kAnyReply (or any code below 0) takes every reply
        throw EWireResponseError(ResultText);
    const std::string pad(2u * indent, ' ');
    if (statusText == kStatusReplyLine)
        DoStatus(pad + ResultText);
    else if (!statusText.empty())
        DoStatus(pad + statusText);
    return ResultCode;
}

void TWireSocket::BeginWork(int32_t size)
{
    WorkPosition = 0;
    WorkSize = size;
}

void TWireSocket::EndWork()
{
    WorkSize = kNoWorkSize;
    DoWork(kWorkEnded);
    WorkSize = kNoWorkPeriod;
}

void TWireSocket::DoWork(int64_t position)
{
    WorkPosition = position;
    if (WorkSize == kNoWorkPeriod)
        return;
    const int64_t kib = position / 1024; // truncates toward zero: kWorkEnded gives 0
    if (position != kWorkEnded && kib <= LastReportedKiB)
        return;
    LastReportedKiB = Clamp32(kib);
    if (OnWork)
        OnWork(this, Clamp32(position), WorkSize);
}

void TWireSocket::DoStatus(const std::string& text)
{
    if (!OnStatus)
        return;
    try {
        OnStatus(this, text);
    } catch (const EWireException& e) {
        e.RaiseWithMessage(std::string(e.what()) + kStatusHandlerSuffix);
    } catch (const std::exception& e) {
        // Only a class this layer can raise again gets the suffix; any other
        // class is the caller's own and goes on unchanged.
        if (typeid(e) != typeid(std::runtime_error) && typeid(e) != typeid(std::exception))
            throw;
        throw std::runtime_error(std::string(e.what()) + kStatusHandlerSuffix);
    }
}

void TWireSocket::AttachTransport(std::unique_ptr<Transport> transport)
{
    if (Connected())
        throw EWireAlreadyConnected(kAlreadyConnectedText);
    buffer_.setCapacity(static_cast<size_t>(bufferChunk_));
    SetTransport(std::move(transport));
    established_ = true;
    ClosedGracefully = false;
}

void TWireSocket::UpgradeTransport(
    const std::function<std::unique_ptr<Transport>(std::unique_ptr<Transport>)>& wrap)
{
    if (!transport_)
        throw EWireClosedSocket(kClosedSocketText);
    if (buffer_.held() != 0)
        throw EWireException("Data arrived before the secure connection was set up.");
    std::unique_ptr<Transport> next = wrap(std::move(transport_));
    SetTransport(nullptr);
    if (!next)
        throw EWireInvalidSocket(kInvalidSocketText);
    SetTransport(std::move(next));
}

void TWireSocket::OpenLog()
{
    CloseLog();
    log_ = std::fopen(LogFile.c_str(), "wb");
    if (!log_)
        throw std::runtime_error("Cannot create file \"" + LogFile + "\". " + std::strerror(errno));
}

void TWireSocket::CloseLog()
{
    if (log_) {
        std::fclose(log_);
        log_ = nullptr;
    }
}

void TWireSocket::LogText(const std::string& text)
{
    if (log_) {
        std::fwrite(text.data(), 1, text.size(), log_);
        std::fflush(log_);
    }
}

} // namespace pelko
