#pragma once
// The socket error vocabulary. Errors are numbered as Windows Sockets numbers
// them, so the user sees the same messages whatever the platform said.
#include <initializer_list>
#include <string>

namespace pelko {

constexpr int kWsaNotSocket = 10038;    // "Socket operation on non-socket."
constexpr int kWsaConnReset = 10054;    // "Connection reset by peer."
constexpr int kWsaNotConnected = 10057; // "Socket is not connected."
constexpr int kWsaShutdown = 10058;     // "Cannot send or receive after socket is closed."
constexpr int kWsaTimedOut = 10060;     // "Connection timed out."
constexpr int kWsaHostNotFound = 11001;

// "Socket Error #" + code + CR LF + the table text (empty for unknown codes).
std::string SocketErrorText(int code);

// The table text alone ("" for codes outside the table).
std::string SocketErrorTableText(int code);

// errno / getaddrinfo results onto the table's numbers. An errno without a
// counterpart keeps its own number (its message then has no text).
int WsaCodeFromErrno(int err);
int WsaCodeFromLookup(int gaiResult, int err);

// The last socket error of this thread, as the socket calls leave it.
int LastSocketError();
void SetLastSocketError(int code);

// What a failing socket call returns.
constexpr long kSocketCallFailed = -1;

// value is a socket call's result. false when it is not kSocketCallFailed;
// otherwise true when the last error is in ignored, else raises
// EWireSocketError.
bool CheckSocketResult(long value, std::initializer_list<int> ignored);

} // namespace pelko
