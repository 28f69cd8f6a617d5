#include "wire/StoredMessage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <unistd.h>
#include <vector>

using namespace pelko;

TEST(StoredMessage, FileBytesBecomeAServerReply)
{
    EXPECT_EQ(StoredMessageToWire("A: 1\n\nbody\n.\n..x\n"), "A: 1\r\n\r\nbody\r\n..\r\n...x\r\n.\r\n");
    EXPECT_EQ(StoredMessageToWire("A: 1\r\n\r\nlast without end"), "A: 1\r\n\r\nlast without end\r\n.\r\n");
    EXPECT_EQ(StoredMessageToWire("a\rb\n"), "a\rb\r\n.\r\n"); // a lone CR stays in its line
    EXPECT_EQ(StoredMessageToWire(""), ".\r\n");

    // A line of its own "." inside the file is text, not the end.
    TWireMessage m;
    ParseStoredMessage("Subject: dots\n\nbefore\n.\n.after\nend", m);
    EXPECT_EQ(m.Subject(), "dots");
    EXPECT_EQ(m.Text, (TStrings{"before", ".", ".after", "end"}));
}

namespace {

// What StoredFileTransport passes on for the bytes, received in pieces of at
// most `piece` bytes.
std::string TranslatedFromFile(const std::string& bytes, size_t piece)
{
    FILE* f = std::tmpfile();
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fflush(f);
    std::rewind(f);
    StoredFileTransport t(::dup(::fileno(f)));
    std::fclose(f);
    std::string out;
    std::vector<char> buf(piece);
    for (;;) {
        const IoResult r = t.recv(buf.data(), piece);
        if (r.state != IoState::Done)
            break;
        out.append(buf.data(), r.bytes);
    }
    return out;
}

} // namespace

TEST(StoredMessage, FileReadInBlocksGivesTheSameReplyInAnyPieces)
{
    // Line ends of both kinds, a CR LF split between reads of the file (64
    // KiB blocks), dots to double, lone CRs, no end at the end.
    std::string big(65535, 'b');
    big += "\r\n.x\n";
    for (const std::string& file :
         {std::string("A: 1\n\nbody\n.\n..x\n"), std::string("A: 1\r\n\r\nlast without end"), std::string("a\rb\n"),
          std::string(""), std::string("\r\n\r\n.\r\n\r"), std::string(".\n.\n"), big}) {
        const std::string expected = StoredMessageToWire(file);
        for (size_t piece : {size_t(1), size_t(2), size_t(3), size_t(7), size_t(1) << 17})
            EXPECT_EQ(TranslatedFromFile(file, piece), expected) << "piece " << piece << " file " << file.size();
    }
}

TEST(StoredMessage, ParsedFromAFileAsFromItsBytes)
{
    const std::string dir = ::testing::TempDir();
    const std::string path = dir + "/stored-message-" + std::to_string(::getpid()) + ".eml";
    const std::string bytes = "Subject: dots\nContent-Type: multipart/mixed; boundary=b\n\n--b\n"
                              "Content-Type: text/plain\n\n.line\n--b\nContent-Type: application/octet-stream\n"
                              "Content-Transfer-Encoding: base64\nContent-Disposition: attachment; filename=x.bin\n\n"
                              "aGVsbG8=\n--b--\n";
    FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    TWireMessage fromFile, fromBytes;
    ParseStoredFile(path, fromFile);
    ParseStoredMessage(bytes, fromBytes);
    EXPECT_EQ(fromFile.Subject(), "dots");
    EXPECT_EQ(fromFile.Text, fromBytes.Text);
    ASSERT_EQ(fromFile.Attachments.size(), 1u);
    EXPECT_FALSE(fromFile.Attachments[0].Kept);

    // A file that cannot be read is an error of its own, with the reason.
    TWireMessage m;
    try {
        ParseStoredFile(dir, m); // a directory: opened, but not readable as a file
        ADD_FAILURE() << "no error";
    } catch (const EStoredFileRead& e) {
        EXPECT_STREQ(e.what(), std::strerror(EISDIR));
    }
    EXPECT_THROW(ParseStoredFile(path + ".gone", m), EStoredFileRead);
    ::unlink(path.c_str());
}
