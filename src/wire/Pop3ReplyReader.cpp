#include "wire/Pop3ReplyReader.h"

#include "mime/TextUtil.h"
#include "wire/WireSocket.h"

#include <string>

namespace pelko {

namespace {

// The first three characters as a decimal number (optional sign), 0 otherwise.
int16_t NumericCode(const std::string& line)
{
    const std::string head = line.substr(0, 3);
    size_t i = 0;
    bool negative = false;
    if (i < head.size() && (head[i] == '+' || head[i] == '-')) {
        negative = head[i] == '-';
        ++i;
    }
    if (i == head.size())
        return 0;
    int value = 0;
    for (; i < head.size(); ++i) {
        if (head[i] < '0' || head[i] > '9')
            return 0;
        value = value * 10 + (head[i] - '0');
    }
    return static_cast<int16_t>(negative ? -value : value);
}

// The next line that is not blank, trimmed; the blank ones before it count
// against the reply's bounds as well.
std::string NextReplyLine(TWireSocket& s)
{
    for (;;) {
        std::string line = Trim(std::string(s.ReadReplyLine()));
        if (!line.empty()) {
            s.LogReplyLine(line);
            return line;
        }
    }
}

} // namespace

void Pop3ReplyReader::ReadReply(TWireSocket& s)
{
    std::string line = NextReplyLine(s);
    if (line.size() > 3 && line[3] == '-') {
        const std::string prefix = line.substr(0, 3) + " ";
        s.ResponseLines.push_back(line);
        do {
            line = NextReplyLine(s);
            s.ResponseLines.push_back(line);
        } while (line.compare(0, 4, prefix) != 0);
    }
    if (line.compare(0, 3, "+OK") == 0)
        s.ResultCode = kReplyOk;
    else if (line.compare(0, 4, "-ERR") == 0)
        s.ResultCode = kReplyErr;
    else
        s.ResultCode = NumericCode(line);
    s.ResultText = std::move(line);
}

bool Pop3ReplyReader::NextDataLine(TWireSocket& s, std::string_view& line)
{
    if (dataEnded_)
        return false;
    line = s.ReadLineView();
    if (!line.empty() && line[0] == '.') {
        if (line.size() == 1) {
            dataEnded_ = true;
            return false;
        }
        if (line[1] == '.')
            line.remove_prefix(1);
    }
    return true;
}

} // namespace pelko
