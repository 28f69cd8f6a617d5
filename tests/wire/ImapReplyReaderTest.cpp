#include "WireTestUtil.h"
#include "wire/ImapReplyReader.h"
#include "wire/WireErrors.h"

#include <gtest/gtest.h>

using namespace pelko;
using namespace pelko::test;

namespace {

std::string Render(const std::vector<ImapValue>& values)
{
    std::string out;
    for (const ImapValue& v : values) {
        if (!out.empty())
            out += ' ';
        if (v.kind == ImapValue::List)
            out += "(" + Render(v.items) + ")";
        else if (v.kind == ImapValue::String)
            out += "<" + v.text + ">";
        else if (v.kind == ImapValue::Nil)
            out += "NIL";
        else
            out += v.text;
    }
    return out;
}

} // namespace

TEST(ImapReplyReader, ValuesAcrossLinesAndLiterals)
{
    // One response each, read in pieces of 3 bytes; what the reader made of
    // it, or the failure it raised.
    const struct {
        const char* bytes;
        const char* read;
    } rows[] = {
        {"* 1 FETCH (FLAGS (\\Seen) UID 5 BODY[HEADER.FIELDS (FROM)] {6}\r\na\r\nb\r\n)\r\n",
         "1 FETCH (FLAGS (\\Seen) UID 5 BODY[HEADER.FIELDS (FROM)] <a\r\nb\r\n>)"},
        {"* LIST (\\HasNoChildren) \"/\" \"a \\\"b\\\" \\\\c\" nil\r\n",
         "LIST (\\HasNoChildren) </> <a \"b\" \\c> NIL"},
        {"* 2 FETCH (BODY[] {0+}\r\n UID 3)\r\n", "2 FETCH (BODY[] <> UID 3)"},
        {"* 3 FETCH (X {2}\r\n{})\r\n", "3 FETCH (X <{}>)"},
        {"* OK [UIDVALIDITY 7] (text) \"not parsed\r\n", "OK [UIDVALIDITY 7] (text) \"not parsed"},
        {"+ \r\n", "+"},
        {"\r\n* 4 EXISTS\r\n", "4 EXISTS"},
        {"* 1 FETCH ((\r\n", "error: a list is not closed."},
        {"* 1 FETCH )\r\n", "error: a \")\" closes no list."},
        {"* X \"abc\r\n", "error: a quoted string is not closed."},
        {"* X {5 \r\n", "error: a \"{\" that is not a literal's size at the end of a line."},
        {"* X {9000}\r\n", "error: a literal of 9000 octets is larger than a reply may be."},
        {"A1 FETCH (x)\r\n", "error: a tagged line that is no status (A1 FETCH (x))."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.bytes);
        TWireSocket s;
        auto owned = std::make_unique<ImapReplyReader>();
        ImapReplyReader& reader = *owned;
        reader.ReadUntilTag = false;
        s.SetReplyReader(std::move(owned));
        s.MaxReplyBytes = 8192;
        AttachMemory(s, row.bytes, 3);
        std::string read;
        try {
            s.ReadResponse();
            const ImapResponse& r = reader.Responses().back();
            read = r.Continuation() ? "+" : !r.keyword.empty() ? r.keyword + " [" + Render(r.code) + "] " + r.text
                                                                  : Render(r.items);
        } catch (const EWireResponseError& e) {
            read = "error: " + std::string(e.what()).substr(std::string("The server's reply cannot be read: ").size());
            EXPECT_TRUE(reader.OutOfStep());
        }
        EXPECT_EQ(read, row.read);
    }
}
