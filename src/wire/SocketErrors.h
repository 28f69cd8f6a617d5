#pragma once
// The socket error vocabulary. Errors are numbered as Windows Sockets numbers
// them, so the user sees the same messages whatever the platform said.
#include <initializer_list>
#include <string>

namespace pelko {

constexpr int kWsaShutdown = 10058;  // "Cannot send or receive after socket is closed."
constexpr int kWsaTimedOut = 10060;  // "Connection timed out."
constexpr int kWsaConnRefused = 10061;
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

// value is a socket call's result. false when it is not -1; otherwise true
// when the last error is in ignored, else raises EWireSocketError.
bool CheckSocketResult(long value, std::initializer_list<int> ignored);

} // namespace pelko
