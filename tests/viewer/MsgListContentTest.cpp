// What the window shows of a message; the attachment, reply and save actions.
#include "MsgListFixture.h"

#include <QAction>
#include <QByteArray>

namespace pelko::msglist_test {
namespace {

std::string base64Lines(const std::string& bytes)
{
    const std::string b64 = QByteArray(bytes.data(), int(bytes.size())).toBase64().toStdString();
    std::string out;
    for (size_t i = 0; i < b64.size(); i += 76)
        out += b64.substr(i, 76) + "\r\n";
    return out;
}

// Every byte value; a second file spanning many Base64 lines.
std::string firstContent()
{
    std::string s;
    for (int i = 0; i < 256; ++i)
        s += char(i);
    return s;
}
std::string secondContent()
{
    std::string s = "PK\x03\x04";
    for (int i = 0; i < 3000; ++i)
        s += char((i * 7 + 3) % 251);
    return s;
}

std::string attachmentPart(const std::string& header, const std::string& bytes)
{
    return "--sep42\r\nContent-Transfer-Encoding: base64\r\n" + header + "\r\n\r\n" + base64Lines(bytes);
}

std::string mailWithAttachments(const std::string& from)
{
    return "From: " + from + "\r\nSubject: With files\r\nDate: Tue, 4 Jun 2024 16:45:10 +0000\r\n"
           "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"sep42\"\r\n\r\n"
           "--sep42\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\nTwo files attached.\r\n" +
           attachmentPart("Content-Disposition: attachment; filename=\"one.bin\"", firstContent()) +
           attachmentPart("Content-Disposition: attachment; filename=\"../two.zip\"", secondContent()) +
           "--sep42--\r\n";
}

TEST_F(MsgListTest, HeaderOnlyModeShowsNoFileLineAndNoBody)
{
    PELKO_NEED_DOVECOT();
    DovecotClearMailbox(31);
    addMail(31, mailWithAttachments("Ann <ann@example.org>"));
    Options o;
    o.headerOnly = true;
    start(31, o);

    win->Save->setEnabled(false);
    win->ShowMessageNo(1);
    awaitExchanges();
    EXPECT_EQ(win->ShownText(), "From : Ann <ann@example.org>\nSubj : With files\n" +
                                    dateLine(QStringLiteral("2024-06-04T16:45:10Z")) +
                                    "\n__________________________\n");
    EXPECT_FALSE(win->Save->isEnabled()); // this mode leaves it as it was
    fake.dialogAnswers = {dir() + "x.bin"};
    win->SaveClick();
    EXPECT_TRUE(fake.savePresets.empty());
}

TEST_F(MsgListTest, TwoAttachmentsAreSavedOneDialogEachInOrder)
{
    PELKO_NEED_DOVECOT();
    DovecotClearMailbox(32);
    addMail(32, mailWithAttachments("Ann <ann@example.org>"));
    addMail(32, plainMail(2));
    start(32);

    win->ShowMessageNo(1);
    awaitExchanges();
    EXPECT_EQ(line(3), "File : 2");
    EXPECT_EQ(line(6), "Two files attached.");
    EXPECT_TRUE(win->Save->isEnabled());

    const std::string a = dir() + "saved-one.bin", b = dir() + "saved-two.zip";
    fake.dialogAnswers = {a, b};
    win->SaveClick();
    EXPECT_EQ(fake.savePresets, (std::vector<std::string>{"one.bin", "two.zip"}));
    EXPECT_EQ(fake.dialogFilters, std::vector<std::string>(2, "zip file (*.zip)|*.zip|exe file (*.exe)|*.exe|all (*.*)|*.*"));
    EXPECT_EQ(fileBytes(a), firstContent());
    EXPECT_EQ(fileBytes(b), secondContent());
    EXPECT_TRUE(fake.boxes.empty());

    // Cancel skips one file; a copy that fails is reported.
    fake.savePresets.clear();
    fake.dialogAnswers = {std::nullopt, dir() + "no-such-dir/two.zip"};
    win->SaveClick();
    EXPECT_EQ(fake.savePresets.size(), 2u);
    EXPECT_EQ(fake.boxes, std::vector<std::string>{"Could not save the attachment to\r" + dir() + "no-such-dir/two.zip"});

    // A Disconnect takes the files along: the reopened window says so.
    main->DisconnectClick();
    awaitExchanges();
    fake.boxes.clear();
    fake.savePresets.clear();
    win->SaveClick();
    EXPECT_TRUE(fake.savePresets.empty());
    EXPECT_EQ(fake.boxes, std::vector<std::string>{TMsgList::kFetchAgainText});
    main->ConnectClick();
    awaitExchanges();

    win->show();
    win->NextClick();
    awaitExchanges();
    EXPECT_EQ(line(3), "File : 0");
    EXPECT_FALSE(win->Save->isEnabled());
}

TEST_F(MsgListTest, ReplyDropsLeadingBlanksAndSaveNeedsAMessageOnScreen)
{
    PELKO_NEED_DOVECOT();
    DovecotClearMailbox(33);
    addMail(33, mailWithAttachments("   Bob Example <bob@example.org>"));
    start(33);
    win->ShowMessageNo(1);
    awaitExchanges();
    win->show();
    ASSERT_EQ(main->Msg.From(), "   Bob Example <bob@example.org>");

    win->ReplyClick();
    EXPECT_EQ(fake.urls, std::vector<std::string>{"mailto:bob@example.org?subject=Re%3A%20With%20files"});
    EXPECT_TRUE(win->isVisible());
    EXPECT_TRUE(fake.boxes.empty());
    fake.urlsOpen = false; // no mail program: the user hears why, over the window
    win->ReplyClick();
    ASSERT_EQ(fake.boxes, std::vector<std::string>{TMsgList::kNoMailHandlerText});
    EXPECT_EQ(fake.owners.back(), static_cast<DialogOwner>(win.get()));

    // Nothing on screen: Save does nothing though Msg still holds the files.
    DovecotClearMailbox(33);
    win->NextClick();
    awaitExchanges();
    ASSERT_EQ(win->ShownText(), "no more messages...");
    fake.urls.clear();
    win->ReplyClick(); // not to the sender of a message no longer there
    EXPECT_TRUE(fake.urls.empty());
    fake.dialogAnswers = {dir() + "x.bin", dir() + "y.zip"};
    win->SaveClick();
    EXPECT_TRUE(fake.savePresets.empty());
}

TEST_F(MsgListTest, AccentsAndTheRealTimeAreShown)
{
    PELKO_NEED_DOVECOT();
    DovecotClearMailbox(36);
    addMail(36, "From: =?ISO-8859-1?Q?J=F6rg_M=FCller?= <joerg@example.org>\r\n"
                "Subject: =?ISO-8859-1?Q?Gr=FC=DFe_aus_K=F6ln?=\r\n"
                "Date: Wed, 5 Jun 2024 21:34:56 -0300\r\n"
                "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=ISO-8859-1\r\n"
                "Content-Transfer-Encoding: quoted-printable\r\n\r\n"
                "Sch=F6ne Gr=FC=DFe,\r\nJ=F6rg\r\n");
    addMail(36, "From: Åsa <asa@example.org>\r\nSubject: =?UTF-8?B?w4Zyw7gg4oCTIOKckw==?=\r\n"
                "Date: Thu, 6 Jun 2024 08:15:00 +0000\r\n"
                "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                "Content-Transfer-Encoding: 8bit\r\n\r\nHej från Ærø ✓\r\n");
    start(36);

    win->ShowMessageNo(1);
    awaitExchanges();
    EXPECT_EQ(line(0), "From : Jörg Müller <joerg@example.org>");
    EXPECT_EQ(line(1), "Subj : Grüße aus Köln");
    EXPECT_EQ(line(2), dateLine(QStringLiteral("2024-06-05T21:34:56-03:00")));
    EXPECT_EQ(line(6), "Schöne Grüße,");
    EXPECT_EQ(line(7), "Jörg");

    win->ShowMessageNo(2);
    awaitExchanges();
    EXPECT_EQ(line(0), "From : Åsa <asa@example.org>");
    EXPECT_EQ(line(1), "Subj : Ærø – ✓");
    EXPECT_EQ(line(2), dateLine(QStringLiteral("2024-06-06T08:15:00Z")));
    EXPECT_EQ(line(6), "Hej från Ærø ✓");
}

} // namespace
} // namespace pelko::msglist_test
