#pragma once
// A command chosen by the user that prints a fresh OAuth 2.0 access token
// (how mail tools without a client id of their own sign in).
#include <functional>
#include <string>

namespace pelko {

// Runs the command line (split into words like a shell would, quotes
// respected, but no shell involved) in a process group of its own, waits at
// most timeoutMs, calling idle between short waits (idle may raise to give
// up), and returns the first line it prints. The wait ends when the command
// ends (a helper it left holding the output is not waited for) or half a
// second after its first whole line (a command that goes on printing or
// running); then the whole group is ended. A command that cannot start,
// fails, prints nothing or has not printed a line when the time is up
// raises EWireException naming the command.
std::string RunTokenCommand(const std::string& commandLine, int timeoutMs, const std::function<void()>& idle);

} // namespace pelko
