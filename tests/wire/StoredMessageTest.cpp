#include "wire/StoredMessage.h"

#include <gtest/gtest.h>

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
