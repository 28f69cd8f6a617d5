#include "WireTestUtil.h"
#include "mime/Coders.h"
#include "wire/MessageClient.h"
#include "wire/Pop3ReplyReader.h"
#include "mime/Readable.h"
#include "mime/TempFiles.h"
#include "wire/WireErrors.h"

#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace pelko;
using namespace pelko::test;

namespace {

// Receives one message (given with \n line ends, end line included) and
// returns the client for further reads.
std::unique_ptr<TWireMessageClient> Receive(TWireMessage& m, const std::string& text, size_t chunk = 0)
{
    auto c = std::make_unique<TWireMessageClient>();
    c->SetReplyReader(std::make_unique<Pop3ReplyReader>());
    AttachMemory(*c, Crlf(text), chunk);
    c->ReceiveHeaders(m, "");
    c->ReceiveBody(m);
    return c;
}

std::string FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string Base64Lines(const std::string& bytes, size_t perLine = 57)
{
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += perLine)
        out += EncodeLine(bytes.substr(i, perLine)) + "\n";
    return out;
}

std::string AllBytes(size_t n)
{
    std::string s;
    for (size_t i = 0; i < n; ++i)
        s += static_cast<char>((i * 7 + i / 256) & 0xFF);
    return s;
}

} // namespace

TEST(MessageParse, PlainMessage)
{
    TWireMessage m;
    Receive(m, "From: Ann <ann@example.org>\n"
               "Title: Hello\n"
               "X-Odd:no-blank\n"
               "\n"
               "line one\n"
               "..x\n"
               "\n"
               "last\n"
               ".\n");
    EXPECT_EQ(m.From(), "Ann <ann@example.org>");
    EXPECT_EQ(m.Subject(), "Hello"); // Title becomes Subject
    EXPECT_EQ(m.GetHeader("Title"), "");
    EXPECT_EQ(m.Headers, (TStrings{"From=Ann <ann@example.org>", "X-Odd:no-blank", "Subject=Hello"}));
    EXPECT_EQ(m.Text, (TStrings{"line one", ".x", "", "last"}));
    ASSERT_EQ(m.MessageParts.size(), 1u);
    EXPECT_EQ(m.MessageParts[0].ContentType, "");
    EXPECT_EQ(m.MessageParts[0].Lines, m.Text);
    EXPECT_TRUE(m.Attachments.empty());
}

TEST(MessageParse, HeaderUnfolding)
{
    TWireMessage m;
    Receive(m, " stray first line: x\n"
               "Content-Type: multipart/mixed;\n"
               "\tboundary=b1\n"
               "Subject: a\n"
               "   \t long \t\n"
               "\n"
               "--b1\n"
               "Content-Type: text/plain\n"
               "\n"
               "body\n"
               "--b1--\n"
               ".\n");
    EXPECT_EQ(m.GetHeader("Content-Type"), "multipart/mixed; boundary=b1");
    EXPECT_EQ(m.Subject(), "a long");
    EXPECT_EQ(m.Headers[0], "stray first line=x"); // kept as a line of its own
    EXPECT_EQ(m.Text, (TStrings{"body"}));
}

TEST(MessageParse, TextAndBase64Attachment)
{
    const std::string data = AllBytes(5000);
    TWireMessage m;
    auto c = Receive(m,
                     "Content-Type: multipart/mixed; boundary=\"b7\"\n"
                     "\n"
                     "This is a multi-part message in MIME format.\n"
                     "--b7\n"
                     "Content-Type: text/plain\n"
                     "Content-Transfer-Encoding: 7bit\n"
                     "\n"
                     "Hi,\n"
                     "see the file.\n"
                     "--b7\n"
                     "Content-Type: application/zip; name=\"a.zip\"\n"
                     "Content-Transfer-Encoding: BASE64\n"
                     "Content-Disposition: attachment; FILENAME=\"a.zip\"\n"
                     "\n" +
                         Base64Lines(data) +
                         "--b7--\n"
                         "epilogue\n"
                         ".\n"
                         "+OK next reply\n",
                     700);
    EXPECT_EQ(m.Text, (TStrings{"Hi,", "see the file."}));
    ASSERT_EQ(m.MessageParts.size(), 1u);
    EXPECT_EQ(m.MessageParts[0].ContentType, "text/plain");
    EXPECT_EQ(m.MessageParts[0].ContentTransfer, "7bit");
    ASSERT_EQ(m.Attachments.size(), 1u);
    const TAttachment& a = m.Attachments[0];
    EXPECT_EQ(a.FileName, "a.zip");
    EXPECT_EQ(TWireMessage::HeaderIn(a.Headers, "content-transfer-encoding"), "BASE64");
    EXPECT_EQ(a.StoredPathName.rfind(TempPath() + "PBE", 0), 0u);
    EXPECT_EQ(FileBytes(a.StoredPathName), data);
    struct stat st {};
    ASSERT_EQ(::stat(a.StoredPathName.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u); // private
    EXPECT_EQ(c->ReadLine(), "+OK next reply"); // the message ended exactly at "."
}

TEST(MessageParse, AttachmentVariants)
{
    TWireMessage m;
    Receive(m, "Content-Type: multipart/mixed; boundary=zz\n"
               "\n"
               "--zz\n"
               "Content-Transfer-Encoding: base64\n"
               "Content-Disposition: attachment; filename=\"one.bin\"\n"
               "\n"
               "b25l\n"
               "--zz\n"
               "Content-Transfer-Encoding: base64\n"
               "Content-Disposition: attachment; filename=\"two.bin\"\n"
               "\n"
               "dH\n"                 // a group split over two lines is carried over
               "dv\n"
               "\n"
               "junk after the blank line is skipped\n"
               "--zz\n"
               "Content-Transfer-Encoding: quoted-printable\n"
               "Content-Disposition: attachment; filename=\"C:\\dir\\../three.txt\"\n"
               "\n"
               "raw =3D line\n"
               "..dotted\n"
               "--zz\n"
               "Content-Type: image/png; name=\"only-named-here.png\"\n"
               "\n"
               "kept by its name\n"
               "--zz\n"
               "Content-Disposition: attachment; filename*=UTF-8''na%C3%AFve%20plan.pdf\n"
               "\n"
               "encoded name\n"
               "--zz\n"
               "Content-Type: image/png\n"
               "\n"
               "no name: dropped\n"
               "--zz\n"
               "Content-Type: text/plain\n"
               "Content-Disposition: attachment; filename=\"text.txt\"\n"
               "\n"
               "text parts stay text\n"
               "--zz--\n"
               ".\n");
    ASSERT_EQ(m.Attachments.size(), 6u);
    EXPECT_EQ(m.Attachments[0].FileName, "one.bin");
    EXPECT_EQ(FileBytes(m.Attachments[0].StoredPathName), "one");
    EXPECT_EQ(m.Attachments[1].FileName, "two.bin");
    EXPECT_EQ(FileBytes(m.Attachments[1].StoredPathName), "two");
    EXPECT_EQ(m.Attachments[2].FileName, "three.txt"); // never a path
    EXPECT_EQ(FileBytes(m.Attachments[2].StoredPathName), "raw =3D line\r\n.dotted\r\n");
    EXPECT_EQ(m.Attachments[3].FileName, "only-named-here.png");
    EXPECT_EQ(FileBytes(m.Attachments[3].StoredPathName), "kept by its name\r\n");
    EXPECT_EQ(m.Attachments[4].FileName, "na\xC3\xAFve plan.pdf");
    EXPECT_EQ(m.Attachments[5].FileName, "text.txt"); // a text sent as a file is a file as well
    EXPECT_EQ(m.Text, (TStrings{"text parts stay text"}));

    // Attachments switched off: skipped, text still read.
    TWireMessage n;
    n.ExtractAttachments = false;
    Receive(n, "Content-Type: multipart/mixed; boundary=zz\n\n"
               "--zz\nContent-Disposition: attachment; filename=\"x\"\nContent-Transfer-Encoding: base64\n\neHl6\n"
               "--zz\nContent-Type: text/plain\n\nstill here\n--zz--\n.\n");
    EXPECT_TRUE(n.Attachments.empty());
    EXPECT_EQ(n.Text, (TStrings{"still here"}));
}

TEST(MessageParse, FileNameForms)
{
    const struct {
        const char *disposition, *contentType, *name;
    } rows[] = {
        {"attachment; filename*=UTF-8''na%C3%AFve.pdf", "", "na\xC3\xAFve.pdf"},
        {"attachment; filename*=iso-8859-1'fr'caf%E9.txt", "", "caf\xC3\xA9.txt"},
        {"attachment; filename*0=\"long name \"; filename*1=\"in two.txt\"", "", "long name in two.txt"},
        {"attachment; filename*0*=UTF-8''%C3%A9t%C3%A9; filename*1=\"-2024\"; filename*2*=%2Eodt", "",
         "\xC3\xA9t\xC3\xA9-2024.odt"},
        {"attachment; filename*0=a; filename*2=c", "", "a"}, // a missing piece ends the name
        {"attachment; filename*=''100%25%zz", "", "100%%zz"}, // a broken escape stays as it is
        {"attachment; filename=\"plain.txt\"", "", "plain.txt"},
        {"attachment; filename=bare.txt", "", "bare.txt"},
        {"attachment; filename=\"old.txt\"; filename*=UTF-8''new.txt", "", "new.txt"},
        {"inline", "application/pdf; name=\"typed.pdf\"", "typed.pdf"},
        {"", "application/pdf; name*=UTF-8''%E2%82%AC.pdf", "\xE2\x82\xAC.pdf"},
        {"attachment", "application/octet-stream", ""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(AttachmentFileName(r.disposition, r.contentType), r.name) << r.disposition << r.contentType;
}

TEST(MessageParse, TextIsKeptUpToTheAllowance)
{
    EXPECT_EQ(TWireMessage().MaxTextBytes, size_t(8) << 20);
    std::string longText;
    for (int i = 0; i < 1000; ++i)
        longText += "line " + std::to_string(i) + std::string(90, 'x') + "\n";
    const std::string cutLine = "[Message cut here: the rest is over the 8 KiB of text kept per message.]";

    // One text part: a prefix is kept, the rest read away, the text says where it ends.
    TWireMessage m;
    m.MaxTextBytes = 8192;
    auto c = Receive(m, "Subject: long\n\n" + longText + ".\nnext reply\n");
    ASSERT_GT(m.Text.size(), 10u);
    ASSERT_LT(m.Text.size(), 100u);
    EXPECT_TRUE(m.TextCut);
    EXPECT_EQ(m.Text.back(), cutLine);
    EXPECT_EQ(m.Text[m.Text.size() - 2], "line " + std::to_string(m.Text.size() - 2) + std::string(90, 'x'));
    EXPECT_EQ(m.Subject(), "long");
    EXPECT_TRUE(c->MessageEnded());
    EXPECT_EQ(c->ReadLine(), "next reply"); // in step for the next reply
    TStrings shown = ReadableBody(m);
    EXPECT_EQ(shown.back(), cutLine);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), cutLine), 1);

    // Multipart: what came before the cut stays, what follows it is dropped.
    TWireMessage p;
    p.MaxTextBytes = 8192;
    Receive(p, "Content-Type: multipart/mixed; boundary=zz\n\n"
               "--zz\nContent-Disposition: attachment; filename=\"before.bin\"\n\nkept\n"
               "--zz\nContent-Type: text/plain\n\n" + longText +
               "--zz\nContent-Disposition: attachment; filename=\"after.bin\"\n\ndropped\n--zz--\n.\n");
    ASSERT_EQ(p.Attachments.size(), 1u);
    EXPECT_EQ(p.Attachments[0].FileName, "before.bin");
    EXPECT_EQ(p.Text.back(), cutLine);
    shown = ReadableBody(p);
    EXPECT_EQ(shown.back(), cutLine);
    EXPECT_EQ(shown[0], "line 0" + std::string(90, 'x'));

    // Headers count too; a message under the allowance is whole.
    TWireMessage h;
    h.MaxTextBytes = 4096;
    Receive(h, "Subject: s\nX-Filler: " + std::string(5000, 'f') + "\nFrom: late@example.org\n\nbody\n.\n");
    EXPECT_EQ(h.Subject(), "s");
    EXPECT_EQ(h.From(), "");
    EXPECT_EQ(h.Text, (TStrings{"[Message cut here: the rest is over the 4 KiB of text kept per message.]"}));
    Receive(h, "Subject: s\n\nbody\n.\n");
    EXPECT_FALSE(h.TextCut);
    EXPECT_EQ(h.Text, (TStrings{"body"}));
}

TEST(MessageParse, NestedAlternativeThenAttachment)
{
    for (const std::string inner : {"alt1", "\"alt1\""}) {
        TWireMessage m;
        Receive(m, "Content-Type: multipart/mixed; boundary=outer\n"
                   "\n"
                   "--outer\n"
                   "Content-Type: multipart/alternative;\n"
                   " boundary=" +
                       inner +
                       "\n"
                       "\n"
                       "--alt1\n"
                       "Content-Type: text/plain\n"
                       "\n"
                       "plain version\n"
                       "..dot stays single\n"
                       "--alt1\n"
                       "Content-Type: text/html\n"
                       "\n"
                       "<p>html version</p>\n"
                       "--alt1--\n"
                       "\n"
                       "--outer\n"
                       "Content-Type: application/octet-stream\n"
                       "Content-Transfer-Encoding: base64\n"
                       "Content-Disposition: attachment; filename=\"f.bin\"\n"
                       "\n"
                       "AAEC\n"
                       "--outer--\n"
                       ".\n");
        EXPECT_EQ(m.Text, (TStrings{"plain version", ".dot stays single", "<p>html version</p>"})) << inner;
        EXPECT_EQ(m.MessageParts.size(), 2u);
        ASSERT_EQ(m.Attachments.size(), 1u);
        EXPECT_EQ(FileBytes(m.Attachments[0].StoredPathName), std::string("\x00\x01\x02", 3));
    }
}

TEST(MessageParse, DeeperNestingIsSkippedNotEntered)
{
    TWireMessage m;
    Receive(m, "Content-Type: multipart/mixed; boundary=L0\n\n"
               "--L0\n"
               "Content-Type: multipart/alternative; boundary=L1\n\n"
               "--L1\n"
               "Content-Type: multipart/alternative; boundary=L2\n\n"
               "--L2\nContent-Type: text/plain\n\ntoo deep\n--L2--\n"
               "--L1\n"
               "Content-Type: text/plain\n\nsecond level\n"
               "--L1--\n"
               "--L0\n"
               "Content-Type: text/plain\n\nfirst level\n"
               "--L0--\n.\n");
    EXPECT_EQ(m.Text, (TStrings{"second level", "first level"}));
}

TEST(MessageParse, MissingDelimitersStopAtTheEndLine)
{
    // No closing delimiter: the end line still ends the message.
    TWireMessage m;
    auto c = Receive(m, "Content-Type: multipart/mixed; boundary=b\n\n"
                        "--b\nContent-Type: text/plain\n\ncut short\n.\n"
                        "+OK after\n");
    EXPECT_EQ(m.Text, (TStrings{"cut short"}));
    EXPECT_EQ(c->ReadLine(), "+OK after");

    // Also inside a Base64 attachment and inside a part's header block.
    TWireMessage n;
    c = Receive(n, "Content-Type: multipart/mixed; boundary=b\n\n"
                   "--b\nContent-Disposition: attachment; filename=\"f\"\nContent-Transfer-Encoding: base64\n\n"
                   "YWJj\n.\n+OK one\n");
    ASSERT_EQ(n.Attachments.size(), 1u);
    EXPECT_EQ(FileBytes(n.Attachments[0].StoredPathName), "abc");
    EXPECT_EQ(c->ReadLine(), "+OK one");

    TWireMessage h;
    c = Receive(h, "Content-Type: multipart/mixed; boundary=b\n\n--b\nContent-Type: text/plain\n.\n+OK two\n");
    EXPECT_TRUE(h.Text.empty());
    EXPECT_EQ(c->ReadLine(), "+OK two");

    // A header block with no empty line after it.
    TWireMessage k;
    c = Receive(k, "Subject: only headers\n.\n+OK three\n");
    EXPECT_EQ(k.Subject(), "only headers");
    EXPECT_TRUE(k.Text.empty());
    EXPECT_EQ(c->ReadLine(), "+OK three");
}

TEST(MessageParse, BoundaryParameter)
{
    std::string b;
    EXPECT_TRUE(ExtractBoundary("multipart/mixed; boundary=b7", b));
    EXPECT_EQ(b, "b7");
    EXPECT_TRUE(ExtractBoundary("multipart/mixed; boundary=\"b7\"", b));
    EXPECT_EQ(b, "b7");
    EXPECT_TRUE(ExtractBoundary("multipart/mixed; Boundary=\"x y\"; charset=us-ascii", b));
    EXPECT_EQ(b, "x y");
    EXPECT_TRUE(ExtractBoundary("multipart/mixed; boundary=abc; type=text/plain", b));
    EXPECT_EQ(b, "abc");
    EXPECT_FALSE(ExtractBoundary("multipart/mixed", b));

    // No boundary: the error is raised after the rest of the message was
    // read, so the connection stays usable.
    TWireMessage m;
    auto c = std::make_unique<TWireMessageClient>();
    c->SetReplyReader(std::make_unique<Pop3ReplyReader>());
    AttachMemory(*c, Crlf("Content-Type: multipart/mixed\n\n--x\nbody\n.\n+OK next\n"));
    c->ReceiveHeaders(m, "");
    try {
        c->ReceiveBody(m);
        ADD_FAILURE() << "no exception";
    } catch (const EWireException& e) {
        EXPECT_EQ(std::string(e.what()), "Boundary error");
    }
    EXPECT_TRUE(m.Text.empty());
    EXPECT_EQ(c->ReadLine(), "+OK next");
}

TEST(MessageParse, AttachmentFilesAreRemovedAndCopied)
{
    std::string stored;
    {
        TWireMessage m;
        Receive(m, "Content-Type: multipart/mixed; boundary=q\n\n--q\n"
                   "Content-Disposition: attachment; filename=\"..\"\nContent-Transfer-Encoding: base64\n\n"
                   "aGVsbG8=\n--q--\n.\n");
        ASSERT_EQ(m.Attachments.size(), 1u);
        EXPECT_EQ(m.Attachments[0].FileName, "attachment");
        stored = m.Attachments[0].StoredPathName;

        char dir[] = "/tmp/pelko-save-XXXXXX";
        ASSERT_NE(::mkdtemp(dir), nullptr);
        const std::string dest = std::string(dir) + "/copy.bin";
        EXPECT_TRUE(m.Attachments[0].SaveToFile(dest + "/")); // one trailing "/" dropped
        EXPECT_EQ(FileBytes(dest), "hello");
        EXPECT_TRUE(m.Attachments[0].SaveToFile(dest)); // overwrite
        EXPECT_FALSE(m.Attachments[0].SaveToFile(std::string(dir) + "/missing/x.bin"));
        EXPECT_TRUE(Exists(stored)); // the temporary copy stays until Clear
        ::unlink(dest.c_str());
        ::rmdir(dir);

        m.Clear();
        EXPECT_FALSE(Exists(stored));
        EXPECT_TRUE(m.Headers.empty());
        EXPECT_TRUE(m.Attachments.empty());

        Receive(m, "Content-Type: multipart/mixed; boundary=q\n\n--q\n"
                   "Content-Disposition: attachment; filename=\"k\"\nContent-Transfer-Encoding: base64\n\n"
                   "aGVsbG8=\n--q--\n.\n");
        stored = m.Attachments.at(0).StoredPathName;
        EXPECT_TRUE(Exists(stored));
    }
    EXPECT_FALSE(Exists(stored)); // and when the message goes away
}

TEST(MessageModel, HeaderStoreAndAddressLists)
{
    TWireMessage m;
    m.Headers = {"subject=old", "To=\"Doe, John\" <jd@example.org>, ann@example.org,,  bob@example.org "};
    EXPECT_EQ(m.Subject(), "old");
    m.SetSubject("new");
    EXPECT_EQ(m.Headers[0], "subject=new");
    EXPECT_EQ(m.Too(), (TStrings{"\"Doe, John\" <jd@example.org>", "ann@example.org", "bob@example.org"}));
    m.SetToo({"a@x", "b@y"});
    EXPECT_EQ(m.GetHeader("TO"), "a@x,b@y");
    m.SetToo({});
    EXPECT_EQ(m.GetHeader("To"), "");
    EXPECT_EQ(m.Headers.size(), 1u);
    m.SetCCList({"c@z"});
    EXPECT_EQ(m.Headers.back(), "Cc=c@z");
    EXPECT_EQ(m.CCList(), (TStrings{"c@z"}));
    m.SetNewsgroups({"comp.lang", "two words"});
    EXPECT_EQ(m.GetHeader("Newsgroups"), "comp.lang,\"two words\"");
    EXPECT_EQ(m.Newsgroups(), (TStrings{"comp.lang", "two words"}));
    m.SetSubject("");
    EXPECT_EQ(m.Subject(), "");
    m.SetHeader("Reply-To", "r@x");
    EXPECT_EQ(m.ReplyTo(), "r@x");
    m.MsgNo = 4;
    m.Clear();
    EXPECT_TRUE(m.Headers.empty());
    EXPECT_EQ(m.MsgNo, 0);
    EXPECT_EQ(m.ContentType, "text/plain");
}

TEST(MessageClient, CaptureLinesWithItsTerminators)
{
    TWireMessageClient c;
    AttachMemory(c, Crlf("..a\nb\nEND\n..c\n.\nx\ny\nSTOP\n"));
    TStrings lines;
    EXPECT_EQ(c.CaptureLines(&lines, {"STOP", "END"}), 2);
    EXPECT_EQ(lines, (TStrings{"..a", "b"})); // no un-stuffing unless "." comes first
    lines.clear();
    EXPECT_EQ(c.CaptureLines(&lines, {"."}), 1);
    EXPECT_EQ(lines, (TStrings{".c"}));
    TStrings seen;
    c.OnCaptureLine = [&](TWire*, const std::string& l) { seen.push_back(l); };
    EXPECT_EQ(c.CaptureLines(CaptureDest(), {"STOP"}), 1);
    EXPECT_EQ(seen, (TStrings{"x", "y"}));
}
