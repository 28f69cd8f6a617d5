// A text part the sender attached as a named file: shown in the text where
// it stands, and kept as a file to save like any other attachment.
#include "mime/StoredMessage.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

using namespace pelko;

namespace {

std::string FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A message as a mail program sends a spreadsheet export.
const char kCsvMail[] = "From: Ann <ann@example.org>\r\n"
                        "Subject: figures\r\n"
                        "MIME-Version: 1.0\r\n"
                        "Content-Type: multipart/mixed; boundary=\"b1\"\r\n"
                        "\r\n"
                        "--b1\r\n"
                        "Content-Type: text/plain; charset=utf-8\r\n"
                        "\r\n"
                        "The figures:\r\n"
                        "--b1\r\n"
                        "Content-Type: text/csv; charset=utf-8; name=\"figures.csv\"\r\n"
                        "Content-Disposition: attachment; filename=\"figures.csv\"\r\n"
                        "\r\n"
                        "year;count\r\n"
                        "2024;7\r\n"
                        "--b1\r\n"
                        "Content-Type: text/plain\r\n"
                        "Content-Transfer-Encoding: base64\r\n"
                        "Content-Disposition: ATTACHMENT;\r\n"
                        "\tfilename=notes.txt\r\n"
                        "\r\n"
                        "bm90ZSBvbmUK\r\n"
                        "bm90ZSB0d28K\r\n"
                        "--b1\r\n"
                        "Content-Type: text/plain\r\n"
                        "Content-Disposition: inline; filename=\"shown.txt\"\r\n"
                        "\r\n"
                        "inline text\r\n"
                        "--b1--\r\n";

TEST(TextAttachment, KeptInTheTextAndAsAFile)
{
    TWireMessage m;
    ParseStoredMessage(kCsvMail, m);
    EXPECT_EQ(m.Text, (TStrings{"The figures:", "year;count", "2024;7", "bm90ZSBvbmUK", "bm90ZSB0d28K", "inline text"}));
    ASSERT_EQ(m.Attachments.size(), 2u);
    EXPECT_EQ(m.Attachments[0].FileName, "figures.csv");
    EXPECT_EQ(FileBytes(m.Attachments[0].StoredPathName), "year;count\r\n2024;7\r\n");
    EXPECT_EQ(m.Attachments[1].FileName, "notes.txt");
    EXPECT_EQ(FileBytes(m.Attachments[1].StoredPathName), "note one\nnote two\n");

    // Headers only: no files, the text as before.
    TWireMessage h;
    h.ExtractAttachments = false;
    ParseStoredMessage(kCsvMail, h);
    EXPECT_TRUE(h.Attachments.empty());
    EXPECT_EQ(h.Text, m.Text);
}

} // namespace
