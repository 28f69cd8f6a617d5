#include "wire/ImapReplyReader.h"

#include "mime/TextUtil.h"
#include "wire/WireErrors.h"
#include "wire/WireSocket.h"

#include <algorithm>

namespace pelko {

namespace {

bool SameWord(std::string_view a, const char* b)
{
    size_t i = 0;
    for (; b[i]; ++i) {
        if (i >= a.size())
            return false;
        char c = a[i];
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        char d = b[i];
        if (d >= 'a' && d <= 'z')
            d = static_cast<char>(d - 'a' + 'A');
        if (c != d)
            return false;
    }
    return i == a.size();
}

std::string Upper(std::string s)
{
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// The octets of a message literal are fetched in pieces of this size.
constexpr uint64_t kLiteralPiece = 64 * 1024;

} // namespace

bool ParseImapNumber(std::string_view text, uint32_t& n)
{
    if (text.empty() || text.size() > 10)
        return false;
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
    }
    if (v > UINT32_MAX)
        return false;
    n = static_cast<uint32_t>(v);
    return true;
}

bool ImapValue::Number(uint32_t& n) const
{
    return kind == Atom && ParseImapNumber(text, n);
}

bool ImapValue::Is(const char* word) const
{
    return kind == Atom && SameWord(text, word);
}

void ImapReplyReader::ServeText(std::string text)
{
    literalSize_ = text.size();
    literalLeft_ = 0;
    pending_ = std::move(text);
    pendingAt_ = 0;
}

void ImapReplyReader::Reset()
{
    midResponse_ = false;
    stoppedAtBody_ = false;
    stack_.clear();
    current_ = ImapResponse();
    literalLeft_ = 0;
    literalSize_ = 0;
    pending_.clear();
    pendingAt_ = 0;
}

void ImapReplyReader::Fail(TWireSocket& s, const std::string& why)
{
    (void)s;
    Reset();
    outOfStep_ = true;
    throw EWireResponseError("The server's reply cannot be read: " + why);
}

void ImapReplyReader::KeepLine(std::string_view part)
{
    if (searchResponse_) {
        current_.line.append(part);
        return;
    }
    if (current_.line.size() >= kMaxKeptLine)
        return;
    current_.line.append(part.substr(0, kMaxKeptLine - current_.line.size()));
}

void ImapReplyReader::AddValue(TWireSocket& s, ImapValue v)
{
    if (++values_ > kMaxValues)
        Fail(s, "a response with more than " + std::to_string(kMaxValues) + " items.");
    stack_.back().items.push_back(std::move(v));
}

std::string ImapReplyReader::ReadLiteral(TWireSocket& s, uint64_t n)
{
    if (n > s.MaxReplyBytes || replyLiteralBytes_ + n > s.MaxReplyBytes || n > INT32_MAX)
        Fail(s, "a literal of " + std::to_string(n) + " octets is larger than a reply may be.");
    replyLiteralBytes_ += n;
    if (n == 0)
        return std::string();
    return s.ReadBytes(static_cast<int32_t>(n));
}

bool ImapReplyReader::ParseValues(TWireSocket& s, const std::string& line, size_t at)
{
    while (at < line.size()) {
        const char c = line[at];
        if (c == ' ') {
            ++at;
        } else if (c == '(') {
            if (stack_.size() > kMaxDepth)
                Fail(s, "lists nested more than " + std::to_string(kMaxDepth) + " deep.");
            ImapValue list;
            list.kind = ImapValue::List;
            stack_.push_back(std::move(list));
            ++at;
        } else if (c == ')') {
            if (stack_.size() < 2)
                Fail(s, "a \")\" closes no list.");
            ImapValue done = std::move(stack_.back());
            stack_.pop_back();
            AddValue(s, std::move(done));
            ++at;
        } else if (c == '"') {
            ImapValue v;
            v.kind = ImapValue::String;
            size_t i = at + 1;
            for (; i < line.size() && line[i] != '"'; ++i) {
                if (line[i] == '\\' && i + 1 < line.size())
                    ++i;
                v.text += line[i];
            }
            if (i >= line.size())
                Fail(s, "a quoted string is not closed.");
            AddValue(s, std::move(v));
            at = i + 1;
        } else if (c == '{') {
            // "{n}" or "{n+}" ends the line; the octets follow.
            size_t i = at + 1;
            uint64_t n = 0;
            size_t digits = 0;
            while (i < line.size() && line[i] >= '0' && line[i] <= '9' && digits < 19) {
                n = n * 10 + static_cast<uint64_t>(line[i] - '0');
                ++digits;
                ++i;
            }
            if (i < line.size() && line[i] == '+')
                ++i;
            if (digits == 0 || i + 1 != line.size() || line[i] != '}')
                Fail(s, "a \"{\" that is not a literal's size at the end of a line.");
            literalN_ = n;
            return false;
        } else {
            // An atom; a "[...]" inside it (BODY[HEADER.FIELDS (FROM)])
            // belongs to it, blanks and parentheses included.
            size_t i = at;
            int bracket = 0;
            for (; i < line.size(); ++i) {
                const char d = line[i];
                if (d == '[')
                    ++bracket;
                else if (d == ']' && bracket > 0)
                    --bracket;
                else if (bracket == 0 && (d == ' ' || d == '(' || d == ')' || d == '{' || d == '"'))
                    break;
            }
            ImapValue v;
            v.text = line.substr(at, i - at);
            if (SameWord(v.text, "NIL")) {
                v.kind = ImapValue::Nil;
                v.text.clear();
            }
            AddValue(s, std::move(v));
            at = i;
        }
    }
    return true;
}

void ImapReplyReader::ParseStatus(TWireSocket& s, const std::string& line, size_t at)
{
    while (at < line.size() && line[at] == ' ')
        ++at;
    if (at < line.size() && line[at] == '[') {
        const size_t close = line.find(']', at);
        if (close != std::string::npos) {
            stack_.assign(1, ImapValue());
            stack_[0].kind = ImapValue::List;
            if (!ParseValues(s, line.substr(at + 1, close - at - 1), 0) || stack_.size() != 1)
                Fail(s, "a response code that is not complete.");
            current_.code = std::move(stack_[0].items);
            at = close + 1;
            while (at < line.size() && line[at] == ' ')
                ++at;
        }
    }
    current_.text = line.substr(std::min(at, line.size()));
}

bool ImapReplyReader::ParseResponse(TWireSocket& s, bool resume)
{
    std::string line;
    if (resume) {
        // The rest of a message the client did not read.
        while (literalLeft_ > 0) {
            const uint64_t piece = std::min(literalLeft_, kLiteralPiece);
            s.ReadBytes(static_cast<int32_t>(piece));
            literalLeft_ -= piece;
        }
        pending_.clear();
        pendingAt_ = 0;
        line = std::string(s.ReadReplyLine());
        s.LogReplyLine(line);
        KeepLine(line);
    } else {
        current_ = ImapResponse();
        searchResponse_ = false;
        values_ = 0;
        do {
            line = std::string(s.ReadReplyLine());
        } while (line.empty());
        s.LogReplyLine(line);
        midResponse_ = true;
        const size_t space = line.find(' ');
        current_.tag = line.substr(0, space);
        if (current_.tag == "+" || (line[0] == '+' && space == std::string::npos)) {
            current_.tag = "+";
            KeepLine(line);
            current_.text = space == std::string::npos ? std::string() : line.substr(space + 1);
            Finish(s);
            return false;
        }
        const size_t wordAt = space == std::string::npos ? line.size() : space + 1;
        const size_t wordEnd = std::min(line.find(' ', wordAt), line.size());
        const std::string word = Upper(line.substr(wordAt, wordEnd - wordAt));
        if (word == "OK" || word == "NO" || word == "BAD" || word == "BYE" || word == "PREAUTH") {
            KeepLine(line);
            current_.keyword = word;
            ParseStatus(s, line, wordEnd);
            Finish(s);
            return false;
        }
        if (current_.tag != "*")
            Fail(s, "a tagged line that is no status (" + line.substr(0, 80) + ").");
        if (word == "SEARCH") {
            // Kept as text: a long list of numbers costs no more than its text.
            searchResponse_ = true;
            KeepLine(line);
            ImapValue v;
            v.text = "SEARCH";
            current_.items.push_back(std::move(v));
            Finish(s);
            return false;
        }
        KeepLine(line);
        stack_.assign(1, ImapValue());
        stack_[0].kind = ImapValue::List;
        line.erase(0, wordAt);
    }
    while (!ParseValues(s, line, 0)) {
        const std::vector<ImapValue>& open = stack_.back().items;
        const bool body = !open.empty() && open.back().kind == ImapValue::Atom &&
                          SameWord(std::string_view(open.back().text).substr(0, 5), "BODY[");
        if (streamBody_ && body) {
            streamBody_ = false;
            if (literalN_ > maxBodyBytes_) {
                Reset();
                outOfStep_ = true;
                throw EWireException("The message (" + std::to_string(literalN_) +
                                     " bytes) is larger than the largest one taken (" +
                                     std::to_string(maxBodyBytes_) + " bytes).");
            }
            literalSize_ = literalLeft_ = literalN_;
            pending_.clear();
            pendingAt_ = 0;
            stoppedAtBody_ = true;
            ImapValue v;
            v.kind = ImapValue::String;
            AddValue(s, std::move(v)); // its octets go to the client as data
            return true;
        }
        ImapValue v;
        v.kind = ImapValue::String;
        v.text = ReadLiteral(s, literalN_);
        AddValue(s, std::move(v));
        line = std::string(s.ReadReplyLine());
        s.LogReplyLine(line);
        KeepLine(line);
    }
    if (stack_.size() != 1)
        Fail(s, "a list is not closed.");
    current_.items = std::move(stack_[0].items);
    stack_.clear();
    Finish(s);
    return false;
}

void ImapReplyReader::Finish(TWireSocket& s)
{
    midResponse_ = false;
    s.ResultText = current_.line.substr(0, kMaxKeptLine);
    responses_.push_back(std::move(current_));
    current_ = ImapResponse();
}

void ImapReplyReader::ReadReply(TWireSocket& s)
{
    struct ReadingScope {
        explicit ReadingScope(bool& flag) : flag_(flag) { flag_ = true; }
        ~ReadingScope() { flag_ = false; }
        bool& flag_;
    } reading(reading_);
    const bool resume = stoppedAtBody_;
    stoppedAtBody_ = false;
    if (!resume) {
        if (midResponse_)
            Fail(s, "a response was cut off.");
        responses_.clear();
    }
    replyLiteralBytes_ = 0;
    bool again = resume;
    for (;;) {
        if (ParseResponse(s, again)) {
            s.ResultCode = kImapBodyLiteral;
            s.ResultText = current_.line.substr(0, kMaxKeptLine);
            return;
        }
        again = false;
        const ImapResponse& r = responses_.back();
        if (r.Continuation()) {
            s.ResultCode = kImapContinue;
            return;
        }
        if (!r.Untagged()) {
            s.ResultCode = r.keyword == "OK" ? kReplyOk : kReplyErr;
            return;
        }
        if (!ReadUntilTag) {
            s.ResultCode = kImapUntagged;
            return;
        }
    }
}

void ImapReplyReader::BeginData()
{
    // The literal's size was set where the reply stopped; nothing to reset.
}

bool ImapReplyReader::NextDataLine(TWireSocket& s, std::string_view& line)
{
    for (;;) {
        const size_t nl = pending_.find('\n', pendingAt_);
        if (nl != std::string::npos) {
            line = std::string_view(pending_).substr(pendingAt_, nl - pendingAt_);
            if (!line.empty() && line.back() == '\r')
                line.remove_suffix(1);
            pendingAt_ = nl + 1;
            return true;
        }
        if (literalLeft_ == 0) {
            if (pendingAt_ >= pending_.size())
                return false;
            line = std::string_view(pending_).substr(pendingAt_); // the last line, without its end
            pendingAt_ = pending_.size();
            return true;
        }
        if (pending_.size() - pendingAt_ > s.MaxLineLength) {
            Reset();
            outOfStep_ = true;
            throw EWireLineTooLong(LineTooLongText(s.MaxLineLength));
        }
        pending_.erase(0, pendingAt_);
        pendingAt_ = 0;
        const uint64_t piece = std::min(literalLeft_, kLiteralPiece);
        pending_ += s.ReadBytes(static_cast<int32_t>(piece));
        literalLeft_ -= piece;
    }
}

} // namespace pelko
