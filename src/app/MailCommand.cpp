#include "app/MailCommand.h"

#include "config/IniLookup.h"

namespace pelko {

MailLaunch SplitMyMailClient(const std::string& value)
{
    const size_t comma = value.find(',');
    if (comma == std::string::npos)
        return {value, ""};
    return {value.substr(0, comma), value.substr(comma + 1)};
}

namespace {

bool isBlank(char ch) { return ch == ' ' || ch == '\t'; }

// First word of an Exec line: a quoted word may hold blanks, and inside quotes
// a backslash escapes the next character. Returns the word; pos ends after it.
std::string firstWord(const std::string& line, size_t& pos)
{
    std::string word;
    pos = 0;
    while (pos < line.size() && isBlank(line[pos]))
        ++pos;
    bool quoted = false;
    for (; pos < line.size(); ++pos) {
        const char ch = line[pos];
        if (quoted) {
            if (ch == '\\' && pos + 1 < line.size())
                word += line[++pos];
            else if (ch == '"')
                quoted = false;
            else
                word += ch;
        } else if (ch == '"') {
            quoted = true;
        } else if (isBlank(ch)) {
            break;
        } else {
            word += ch;
        }
    }
    return word;
}

} // namespace

MailLaunch ProcessMailCommand(const std::string& command)
{
    const std::string lower = LowerAscii(command);
    const size_t exe = lower.find(".exe");
    if (exe != std::string::npos) {
        MailLaunch out;
        out.parameters = lower.find("netscape.exe") != std::string::npos ? " -mail" : "";
        out.program = command.substr(0, exe + 4);
        if (!out.program.empty() && out.program[0] == '"')
            out.program.erase(0, 1);
        return out;
    }
    size_t pos = 0;
    MailLaunch out;
    out.program = firstWord(command, pos);
    if (out.program.empty())
        return {};
    while (pos < command.size() && isBlank(command[pos]))
        ++pos;
    out.parameters = command.substr(pos);
    return out;
}

} // namespace pelko
