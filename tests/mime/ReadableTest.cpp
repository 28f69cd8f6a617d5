#include "mime/Readable.h"

#include "mime/Coders.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace pelko;

namespace {

// Valid UTF-8 holding no control character other than the allowed ones.
bool cleanUtf8(const std::string& s, bool tabAllowed)
{
    for (size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        uint32_t cp;
        size_t n;
        if (c < 0x80) {
            cp = c;
            n = 1;
        } else if (c >= 0xC2 && c < 0xE0) {
            cp = c & 0x1F;
            n = 2;
        } else if (c >= 0xE0 && c < 0xF0) {
            cp = c & 0x0F;
            n = 3;
        } else if (c >= 0xF0 && c < 0xF5) {
            cp = c & 0x07;
            n = 4;
        } else {
            return false;
        }
        if (i + n > s.size())
            return false;
        for (size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        }
        if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if ((cp < 0x20 && !(tabAllowed && cp == '\t')) || (cp >= 0x7F && cp < 0xA0))
            return false;
        i += n;
    }
    return true;
}

} // namespace

TEST(ReadableCharset, ConvertsToUtf8AndNeverFails)
{
    EXPECT_EQ(ToUtf8("Caf\xe9", "iso-8859-1"), "Caf\xc3\xa9");
    EXPECT_EQ(ToUtf8("Caf\xe9", "\"ISO-8859-1\""), "Caf\xc3\xa9");
    EXPECT_EQ(ToUtf8("Caf\xc3\xa9", "utf-8"), "Caf\xc3\xa9");
    // No charset or us-ascii: valid UTF-8 kept, anything else read as Latin-1.
    EXPECT_EQ(ToUtf8("Caf\xc3\xa9", ""), "Caf\xc3\xa9");
    EXPECT_EQ(ToUtf8("Caf\xe9", "us-ascii"), "Caf\xc3\xa9");
    // Invalid in the declared charset.
    EXPECT_EQ(ToUtf8("Caf\xe9", "UTF-8"), "Caf\xc3\xa9");
    // Through iconv: the euro sign differs between Latin-9 and Latin-1.
    EXPECT_EQ(ToUtf8("\xa4", "ISO-8859-15"), "\xe2\x82\xac");
    EXPECT_EQ(ToUtf8("\x80", "windows-1252"), "\xe2\x82\xac");
    EXPECT_EQ(ToUtf8(std::string("h\0i\0", 4), "UTF-16LE"), "hi");
    EXPECT_EQ(ToUtf8("\xf0\xd2\xc9", "koi8-r"), "\xd0\x9f\xd1\x80\xd0\xb8");
    // Unknown or odd charsets fall back without harm.
    EXPECT_EQ(ToUtf8("Caf\xe9", "x-no-such-charset"), "Caf\xc3\xa9");
    EXPECT_EQ(ToUtf8("abc", "../../../etc/passwd"), "abc");
    EXPECT_EQ(ToUtf8("abc", std::string(500, 'u')), "abc");
    EXPECT_EQ(ToUtf8("a", "UTF-16LE"), "a"); // truncated input
    EXPECT_EQ(ToUtf8("", "utf-16"), "");
}

TEST(ReadableHeader, EncodedWords)
{
    EXPECT_EQ(DecodeHeaderWords("=?ISO-8859-1?Q?Andr=E9?= Pirard <a@b.example>"), "Andr\xc3\xa9 Pirard <a@b.example>");
    EXPECT_EQ(DecodeHeaderWords("=?UTF-8?B?w6k=?="), "\xc3\xa9");
    EXPECT_EQ(DecodeHeaderWords("=?utf-8?q?Hello_World?="), "Hello World");
    // Blanks between adjacent encoded words go; blanks next to plain text stay.
    EXPECT_EQ(DecodeHeaderWords("=?utf-8?q?a?= =?utf-8?q?b?="), "ab");
    EXPECT_EQ(DecodeHeaderWords("=?utf-8?q?a?=\t  =?iso-8859-1?q?=E9?="), "a\xc3\xa9");
    EXPECT_EQ(DecodeHeaderWords("=?utf-8?q?a?= b =?utf-8?q?c?="), "a b c");
    // One character split over two words.
    EXPECT_EQ(DecodeHeaderWords("=?UTF-8?Q?=C3?= =?UTF-8?Q?=A9?="), "\xc3\xa9");
    // Not encoded words: left as they are.
    EXPECT_EQ(DecodeHeaderWords("=?utf-8?x?abc?="), "=?utf-8?x?abc?=");
    EXPECT_EQ(DecodeHeaderWords("=?utf-8?q?a b?="), "=?utf-8?q?a b?=");
    EXPECT_EQ(DecodeHeaderWords("a =? b ?= c"), "a =? b ?= c");
    EXPECT_EQ(DecodeHeaderWords("=?utf-8?q?unterminated"), "=?utf-8?q?unterminated");
    // Raw 8-bit text.
    EXPECT_EQ(DecodeHeaderWords("Andr\xe9"), "Andr\xc3\xa9");
    EXPECT_EQ(DecodeHeaderWords("Andr\xc3\xa9"), "Andr\xc3\xa9");
    // An unknown charset or control characters cannot break the line.
    EXPECT_EQ(DecodeHeaderWords("=?x-unknown-cs?q?abc?="), "abc");
    EXPECT_EQ(DecodeHeaderWords("=?utf-8?q?a=0D=0AFile_:_9?="), "a  File : 9");
    EXPECT_EQ(DecodeHeaderWords("=?utf-8?q?=1B[31mred?="), " [31mred");
}

TEST(ReadableBody, QuotedPrintableAndParameters)
{
    EXPECT_EQ(DecodeQuotedPrintable({"Caf=E9 cr=", "=E8me", "a=3Db"}), "Caf\xe9 cr\xe8me\na=b");
    EXPECT_EQ(DecodeQuotedPrintable({"soft  =  ", "end"}), "soft  end");
    EXPECT_EQ(DecodeQuotedPrintable({"=ZZ =4", "x=e9"}), "=ZZ =4\nx\xe9");
    EXPECT_EQ(DecodeQuotedPrintable({"last="}), "last");
    EXPECT_EQ(DecodeQuotedPrintable({"a", "", "b"}), "a\n\nb");

    const std::string ct = "text/plain; Charset=\"iso-8859-1\"; format=flowed";
    EXPECT_EQ(HeaderParameter(ct, "charset"), "iso-8859-1");
    EXPECT_EQ(HeaderParameter(ct, "format"), "flowed");
    EXPECT_EQ(HeaderParameter(ct, "delsp"), "");
    EXPECT_EQ(HeaderParameter("text/plain", "charset"), "");
    EXPECT_EQ(HeaderParameter("text/plain; name=\"a;b.txt\"; charset=utf-8", "charset"), "utf-8");
    EXPECT_EQ(HeaderParameter("text/plain; xcharset=a; charset=b", "charset"), "b");
}

TEST(ReadableBody, HtmlBecomesText)
{
    EXPECT_EQ(HtmlToText("<html><head><title>T</title><style>p{color:red}</style></head>"
                         "<body><p>Hello&nbsp;<b>World</b></p>\n\n<p>Caf&eacute; &amp; &#233;&#x20AC; &bogus; a&lt;b"
                         "<br>second   line</p><script>if (a<b) x();</script><!-- hidden --></body></html>"),
              "Hello World\n\nCaf\xc3\xa9 & \xc3\xa9\xe2\x82\xac &bogus; a<b\nsecond line");
    EXPECT_EQ(HtmlToText("<a href=\"x>y\">link</a> text"), "link <x>y> text");
    EXPECT_EQ(HtmlToText("<pre>a\n  b</pre>"), "a\n  b");
    EXPECT_EQ(HtmlToText("1 < 2"), "1 < 2");
    EXPECT_EQ(HtmlToText("<div>a</div><div>b</div>x<br><br>y<br>z"), "a\nb\nx\n\ny\nz");
    EXPECT_EQ(HtmlToText("<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>"), "a b\nc");
    EXPECT_EQ(HtmlToText("&#0;&#99999999;"), "\xef\xbf\xbd\xef\xbf\xbd");
}

TEST(ReadableBody, LinksKeepTheirAddress)
{
    const struct {
        const char *html, *text;
    } rows[] = {
        {"See <a href=\"https://example.org/a?b=1&amp;c=2\">the report</a>.",
         "See the report <https://example.org/a?b=1&c=2>."},
        {"<A HREF='http://x.example'>X</A> and <a title=\"t\" href=http://y.example>Y</a>",
         "X <http://x.example> and Y <http://y.example>"},
        {"<a href=\"https://example.org/\">https://example.org/</a>", "https://example.org/"},
        {"<a href=\"mailto:ann@example.org\">ann@example.org</a>", "ann@example.org"},
        {"<a href=\"#top\">up</a>", "up"},
        {"<a name=\"here\">anchor</a>", "anchor"},
        {"<a data-href=\"no\" href=\"\n http://z.example/\r\">Z</a>", "Z <http://z.example/>"},
        {"<a href=\"http://a.example\"><img src=\"logo.png\"></a>", "<http://a.example>"},
        {"<a href=\"http://open.example\">never closed", "never closed <http://open.example>"},
        {" <a href=\"http://c.example\"><p></a>", "<http://c.example>"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(HtmlToText(r.html), r.text) << r.html;
}

TEST(ReadableBody, PartsDecodedAndConverted)
{
    EXPECT_EQ(ReadablePart({"Caf=E9 cr=", "=E8me", "", "bye"}, "text/plain; charset=iso-8859-1", "Quoted-Printable"),
              (TStrings{"Caf\xc3\xa9 cr\xc3\xa8me", "", "bye"}));
    const std::string utf8 = "Gr\xc3\xbc\xc3\x9f" "e\r\nzweite Zeile\r\n";
    EXPECT_EQ(ReadablePart({EncodeLine(utf8.substr(0, 6)), EncodeLine(utf8.substr(6))}, "text/plain; charset=UTF-8",
                           "base64"),
              (TStrings{"Gr\xc3\xbc\xc3\x9f" "e", "zweite Zeile"}));
    EXPECT_EQ(ReadablePart({"plain", "", "Caf\xe9"}, "", ""), (TStrings{"plain", "", "Caf\xc3\xa9"}));
    EXPECT_EQ(ReadablePart({"<p>Hi <i>there</i></p>", "<p>Two</p>"}, "text/html; charset=us-ascii", "7bit"),
              (TStrings{"Hi there", "", "Two"}));
    EXPECT_EQ(ReadablePart({"a\x1b[2Jb\tc\x7f"}, "text/plain", "8bit"), (TStrings{"a[2Jb\tc"}));
    EXPECT_EQ(ReadablePart({}, "text/plain", "base64"), TStrings{});
}

TEST(ReadableBody, EveryTextPartInOrder)
{
    TWireMessage m;
    EXPECT_EQ(ReadableBody(m), TStrings{});

    // Single part: the message's own headers describe it.
    m.SetHeader("Content-Type", "text/plain; charset=iso-8859-1");
    m.SetHeader("Content-Transfer-Encoding", "quoted-printable");
    m.Text = {"=E9t=E9"};
    EXPECT_EQ(ReadableBody(m), (TStrings{"\xc3\xa9t\xc3\xa9"}));

    // Parts: each decoded on its own, one empty line between them, parts
    // that give nothing left out.
    TMessagePart a, b, c, empty;
    a.ContentType = "text/plain";
    a.Lines = {"first"};
    empty.ContentType = "text/plain";
    b.ContentType = "TEXT/HTML; charset=\"windows-1252\"";
    b.ContentTransfer = "QUOTED-PRINTABLE";
    b.Lines = {"<div>=93quoted=94</div>", ""};
    c.ContentType = "text/plain";
    c.Lines = {"third", ""};
    m.MessageParts = {a, empty, b, c};
    EXPECT_EQ(ReadableBody(m), (TStrings{"first", "", "\xe2\x80\x9cquoted\xe2\x80\x9d", "", "third", ""}));

    // A single part of another type is shown as received.
    TMessagePart bin;
    bin.ContentType = "application/octet-stream";
    bin.ContentTransfer = "base64";
    bin.Lines = {"TWFu"};
    m.MessageParts = {bin};
    EXPECT_EQ(ReadableBody(m), (TStrings{"TWFu"}));
}

TEST(ReadableRobustness, AnyInputGivesCleanUtf8)
{
    std::mt19937 rng(99);
    const std::vector<std::string> pieces = {"=?", "?=", "?Q?", "?B?", "utf-8", "iso-8859-1", "koi8-r", "utf-16",
                                             "=E9", "=C3=A9", "_", " ", "\t", "<p>", "</p>", "<br>", "&amp;", "&#",
                                             "&#x1F600;", "<script>", "<!--", "\r\n", "\x1b", "\xc3", "\xa9", "="};
    for (int round = 0; round < 2000; ++round) {
        std::string s;
        const int n = static_cast<int>(rng() % 20);
        for (int k = 0; k < n; ++k) {
            if (rng() % 3 == 0)
                s += static_cast<char>(rng() & 0xFF);
            else
                s += pieces[rng() % pieces.size()];
        }
        const std::string header = DecodeHeaderWords(s);
        ASSERT_TRUE(cleanUtf8(header, false)) << round;
        const char* const types[] = {"text/plain; charset=utf-16", "text/html; charset=koi8-r", "text/plain"};
        const char* const encodings[] = {"base64", "quoted-printable", "8bit"};
        for (const std::string& line : ReadablePart({s, s}, types[round % 3], encodings[(round / 3) % 3]))
            ASSERT_TRUE(cleanUtf8(line, true)) << round;
    }
}
