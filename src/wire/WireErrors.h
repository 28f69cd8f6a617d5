#pragma once
// The exception family of the protocol stack. Every failure of a connection,
// a response or a parse reaches the user as the text of one of these.
#include "mime/TextUtil.h" // LineTooLongText

#include <stdexcept>
#include <string>

namespace pelko {

class EWireException : public std::runtime_error {
public:
    explicit EWireException(const std::string& message) : std::runtime_error(message) {}
    // Raises an exception of this very class with another message (used when
    // a status handler fails and its message gets a suffix).
    [[noreturn]] virtual void RaiseWithMessage(const std::string& message) const;
};

// A failing socket call; Code is the Windows Sockets number of the error table.
class EWireSocketError : public EWireException {
public:
    explicit EWireSocketError(int code);
    EWireSocketError(int code, const std::string& message) : EWireException(message), Code(code) {}
    [[noreturn]] void RaiseWithMessage(const std::string& message) const override;
    int Code;
};

#define PELKO_WIRE_EXCEPTION(Name)                                                                      \
    class Name : public EWireException {                                                               \
    public:                                                                                            \
        explicit Name(const std::string& message) : EWireException(message) {}                        \
        [[noreturn]] void RaiseWithMessage(const std::string& message) const override { throw Name(message); } \
    };

PELKO_WIRE_EXCEPTION(EWireResponseError)      // message = the server's reply line
PELKO_WIRE_EXCEPTION(EWireClosedSocket)       // a write without a socket
PELKO_WIRE_EXCEPTION(EWireInvalidSocket)      // no socket could be made
PELKO_WIRE_EXCEPTION(EWireConnClosedGraceful) // the peer closed the connection
PELKO_WIRE_EXCEPTION(EWireConnectRefused)     // the greeting was not positive
PELKO_WIRE_EXCEPTION(EWireAlreadyConnected)   // Connect while connected
PELKO_WIRE_EXCEPTION(EWireLineTooLong)        // a line longer than MaxLineLength
PELKO_WIRE_EXCEPTION(EWireReplyTooLong)       // a reply past MaxReplyLines or MaxReplyBytes

#undef PELKO_WIRE_EXCEPTION

// The server refused the user name, the password or the token: trying again
// with the same secret only brings the account nearer to being locked.
class EWireSignInRefused : public EWireResponseError {
public:
    explicit EWireSignInRefused(const std::string& message) : EWireResponseError(message) {}
    [[noreturn]] void RaiseWithMessage(const std::string& message) const override { throw EWireSignInRefused(message); }
};

inline const std::string kClosedSocketText = "Socket is closed, cannot write";
inline const std::string kInvalidSocketText = "Cannot allocate socket.";
inline const std::string kClosedGracefullyText = "Connection Closed Gracefully.";
inline const std::string kAlreadyConnectedText = "Already connected.";
inline const std::string kNotEnoughDataText = "Not enough data in buffer.";
inline const std::string kStatusHandlerSuffix = " occurred in user's OnStatus Event.";
// A command line ends at its CR LF: one holding another line break would
// carry commands of its own (a password "pw\r\nDELE 1").
inline const std::string kLineBreakInCommandText =
    "Not sent: the command holds a line break (CR or LF). Check the user name and the password.";

std::string ReplyTooLongText(size_t maxLines, size_t maxBytes);

// The exchange was called off by its owner (a Disconnect or Exit click while
// the server kept us waiting). Deliberately outside the std::exception
// family: the handlers that cope with a failed step ("the notification gets
// shorter", "the count reached so far") must not turn a cancellation into an
// error to show; it travels up to whoever started the exchange.
class EWireCancelled {
public:
    const char* what() const noexcept { return "Cancelled."; }
};

} // namespace pelko
