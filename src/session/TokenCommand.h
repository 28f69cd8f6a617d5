#pragma once
// A command chosen by the user that prints a fresh OAuth 2.0 access token
// (how mail tools without a client id of their own sign in).
#include <functional>
#include <string>

namespace pelko {

// Runs the command line (split into words like a shell would, quotes
// respected, but no shell involved), waits at most timeoutMs, calling idle
// between short waits (idle may raise to give up), and returns the first
// line it prints. A command that cannot start, fails, prints nothing or
// does not finish in time raises EWireException naming the command.
std::string RunTokenCommand(const std::string& commandLine, int timeoutMs, const std::function<void()>& idle);

} // namespace pelko
