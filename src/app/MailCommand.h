#pragma once
// How the MAIL button turns a configured or registered mail command into a
// program and its parameters. Pure text work, so it is tested on its own.
#include <string>

namespace pelko {

struct MailLaunch {
    std::string program;    // empty: nothing to start
    std::string parameters; // handed to the program, split like a command line
};

// The my_mail_client setting: program, then optionally a comma and the
// parameters (split at the first comma, nothing trimmed).
MailLaunch SplitMyMailClient(const std::string& value);

// The desktop's registered mail command. A command naming an ".exe" keeps
// everything up to that ".exe" (found in any letter case) without a leading
// double quote, and gets " -mail" when it names netscape.exe. Any other
// command is an Exec line: its first word (quotes removed) is the program,
// the rest of the line its parameters. An empty command starts nothing.
MailLaunch ProcessMailCommand(const std::string& command);

} // namespace pelko
