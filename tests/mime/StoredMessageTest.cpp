#include "mime/StoredMessage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <unistd.h>
#include <vector>

using namespace pelko;

namespace {

// Every line StoredMessageLines gives for the bytes: from memory, or from a
// file read in blocks of `block` bytes.
TStrings StoredLines(const std::string& bytes, size_t block = 0)
{
    FILE* f = nullptr;
    std::unique_ptr<StoredMessageLines> lines;
    if (block == 0) {
        lines = std::make_unique<StoredMessageLines>(std::string_view(bytes));
    } else {
        f = std::tmpfile();
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fflush(f);
        std::rewind(f);
        lines = std::make_unique<StoredMessageLines>(::dup(::fileno(f)), block);
        std::fclose(f);
    }
    TStrings out;
    std::string_view line;
    while (lines->NextLine(line))
        out.emplace_back(line);
    return out;
}

} // namespace

TEST(StoredMessage, FileLinesEndAtEitherLineEnd)
{
    EXPECT_EQ(StoredLines("A: 1\n\nbody\n.\n..x\n"), (TStrings{"A: 1", "", "body", ".", "..x"}));
    EXPECT_EQ(StoredLines("A: 1\r\n\r\nlast without end"), (TStrings{"A: 1", "", "last without end"}));
    EXPECT_EQ(StoredLines("a\rb\n"), TStrings{"a\rb"}); // a lone CR stays in its line
    EXPECT_EQ(StoredLines(""), TStrings{});

    // A line of its own "." inside the file is text, not the end.
    TWireMessage m;
    ParseStoredMessage("Subject: dots\n\nbefore\n.\n.after\nend", m);
    EXPECT_EQ(m.Subject(), "dots");
    EXPECT_EQ(m.Text, (TStrings{"before", ".", ".after", "end"}));

    // A line past the bound is an error, not all of the memory.
    EXPECT_THROW(StoredLines(std::string(kMaxStoredLine + 1, 'x'), 1 << 16), EMessageFormat);
}

TEST(StoredMessage, FileReadInBlocksGivesTheSameLinesInAnyBlocks)
{
    // Line ends of both kinds, a CR LF split between reads of the file, dots,
    // lone CRs, no end at the end.
    std::string big(65535, 'b');
    big += "\r\n.x\n";
    for (const std::string& file :
         {std::string("A: 1\n\nbody\n.\n..x\n"), std::string("A: 1\r\n\r\nlast without end"), std::string("a\rb\n"),
          std::string(""), std::string("\r\n\r\n.\r\n\r"), std::string(".\n.\n"), big}) {
        const TStrings expected = StoredLines(file);
        for (size_t block : {size_t(1), size_t(2), size_t(3), size_t(7), size_t(1) << 17})
            EXPECT_EQ(StoredLines(file, block), expected) << "block " << block << " file " << file.size();
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
