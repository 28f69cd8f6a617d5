#include "ZoneGuard.h"
#include "viewcore/MessageText.h"

#include "mime/Coders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

using namespace pelko;
using pelko::test::ZoneGuard;

namespace {


const std::string kRule(26, '_');

void fillSample(TWireMessage& m)
{
    m.SetFrom("=?ISO-8859-1?Q?Andr=E9?= <andre@example.org>");
    m.SetSubject("=?UTF-8?B?Q2Fmw6k=?= menu");
    m.SetHeader("Date", "Tue, 5 Jan 1999 10:00:00 +0100");
    TMessagePart plain;
    plain.ContentType = "text/plain; charset=iso-8859-1";
    plain.ContentTransfer = "quoted-printable";
    plain.Lines = {"Cr=E8me br=FBl=", "=E9e", ""};
    TMessagePart html;
    html.ContentType = "text/html; charset=utf-8";
    html.ContentTransfer = "base64";
    html.Lines = {EncodeLine("<p>Cr\xc3\xa8me <b>br\xc3\xbbl\xc3\xa9" "e</b></p>")};
    m.MessageParts.push_back(plain);
    m.MessageParts.push_back(html);
    m.Text = {"raw lines are not shown"};
    m.Attachments.resize(2);
    m.Attachments[0].FileName = "a.zip";
    m.Attachments[1].FileName = "b.pdf";
}

} // namespace

TEST(MessageText, WholeMessage)
{
    ZoneGuard z("UTC0");
    TWireMessage m;
    fillSample(m);
    const TStrings expected = {"From : Andr\xc3\xa9 <andre@example.org>",
                               "Subj : Caf\xc3\xa9 menu",
                               "Date : Tue, 5 Jan 1999 09:00:00",
                               "File : 2",
                               kRule,
                               "",
                               "Cr\xc3\xa8me br\xc3\xbbl\xc3\xa9" "e",
                               "",
                               "Cr\xc3\xa8me br\xc3\xbbl\xc3\xa9" "e"};
    EXPECT_EQ(MessageTextLines(m, false), expected);

    std::string joined;
    for (const std::string& l : expected)
        joined += l + "\n";
    EXPECT_EQ(BuildMessageText(m, false), joined);
}

TEST(MessageText, HeaderOnlyHasNoFileLineAndNoBody)
{
    ZoneGuard z("XYZ-2"); // local time two hours east
    TWireMessage m;
    fillSample(m);
    EXPECT_EQ(MessageTextLines(m, true), (TStrings{"From : Andr\xc3\xa9 <andre@example.org>", "Subj : Caf\xc3\xa9 menu",
                                                   "Date : Tue, 5 Jan 1999 11:00:00", kRule, ""}));
    EXPECT_EQ(BuildMessageText(m, true).back(), '\n');
}

TEST(MessageText, EmptyAndUnreadableMessages)
{
    TWireMessage m;
    EXPECT_EQ(MessageTextLines(m, false), (TStrings{"From : ", "Subj : ", "Date : ", "File : 0", kRule, ""}));
    m.SetHeader("Date", "sometime last week");
    m.Text = {"single part", "Caf\xe9"};
    EXPECT_EQ(MessageTextLines(m, false),
              (TStrings{"From : ", "Subj : ", "Date : sometime last week", "File : 0", kRule, "", "single part",
                        "Caf\xc3\xa9"}));
    EXPECT_EQ(NoMoreMessagesText(), "no more messages...");
}

TEST(MessageText, DateLine)
{
    EXPECT_EQ(FormatDateTime(915530400LL, 0), "Tue, 5 Jan 1999 10:00:00");
    EXPECT_EQ(FormatDateTime(915530400LL, -11 * 3600), "Mon, 4 Jan 1999 23:00:00");
    EXPECT_EQ(FormatDateTime(0, 0), "Thu, 1 Jan 1970 00:00:00");
    EXPECT_EQ(FormatDateTime(-1, 0), "Wed, 31 Dec 1969 23:59:59");
    EXPECT_EQ(FormatDateTime(1709208059LL, 3600), "Thu, 29 Feb 2024 13:00:59");
    {
        ZoneGuard z("UTC0");
        EXPECT_EQ(DateLineText("05 Jan 99 10:00 EST"), "Tue, 5 Jan 1999 15:00:00");
        EXPECT_EQ(DateLineText(""), "");
        EXPECT_EQ(DateLineText("31 Feb 1999 10:00"), "31 Feb 1999 10:00");
    }
    {
        // Summer and winter dates each get their own offset.
        ZoneGuard z("CET-1CEST,M3.5.0,M10.5.0/3");
        EXPECT_EQ(DateLineText("1 Jul 2023 12:00:00 +0000"), "Sat, 1 Jul 2023 14:00:00");
        EXPECT_EQ(DateLineText("1 Dec 2023 12:00:00 +0000"), "Fri, 1 Dec 2023 13:00:00");
    }
}

TEST(MessageText, SafeAttachmentNames)
{
    EXPECT_EQ(SafeAttachmentName("a.zip"), "a.zip");
    EXPECT_EQ(SafeAttachmentName("../../etc/passwd"), "passwd");
    EXPECT_EQ(SafeAttachmentName("/abs/path/x.txt"), "x.txt");
    EXPECT_EQ(SafeAttachmentName("C:\\Users\\me\\report.doc"), "report.doc");
    EXPECT_EQ(SafeAttachmentName(""), "attachment");
    EXPECT_EQ(SafeAttachmentName("."), "attachment");
    EXPECT_EQ(SafeAttachmentName(".."), "attachment");
    EXPECT_EQ(SafeAttachmentName("dir/"), "attachment");
    EXPECT_EQ(SafeAttachmentName("dir/.."), "attachment");
    EXPECT_EQ(SafeAttachmentName(std::string("a\0b.txt", 7)), "a b.txt");
    EXPECT_EQ(SafeAttachmentName("=?UTF-8?Q?..=2F..=2Fcaf=C3=A9.txt?="), "caf\xc3\xa9.txt");
    // A right-to-left override would show "invoice\u202Etxt.exe" as "invoiceexe.txt".
    EXPECT_EQ(SafeAttachmentName("=?UTF-8?Q?invoice=E2=80=AEtxt=E2=81=A6.exe?="), "invoicetxt.exe");
    const std::string longName = SafeAttachmentName(std::string(300, 'x') + ".pdf");
    EXPECT_EQ(longName.size(), 255u);
    EXPECT_EQ(longName.substr(251), ".pdf");
    std::string accents;
    for (int i = 0; i < 150; ++i)
        accents += "\xc3\xa9";
    const std::string longUtf8 = SafeAttachmentName(accents);
    EXPECT_EQ(longUtf8.size(), 254u);
    EXPECT_EQ(longUtf8.substr(252), "\xc3\xa9"); // not cut inside a character
}

TEST(MessageText, DeleteQuestionNamesTheSubjectOnOneLine)
{
    const struct {
        std::string subject, shown;
    } rows[] = {
        {"Lunch?", "Lunch?"},
        {"=?UTF-8?Q?caf=C3=A9?=", "caf\xc3\xa9"},
        {"two\r\nlines\x1b[2J", "two  lines [2J"},
        {"   ", "(no subject)"},
        {std::string(119, 'x') + "\xc3\xa9\xc3\xa9", std::string(119, 'x') + "\xc3\xa9\xe2\x80\xa6"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(DeleteQuestionText(r.subject), "Delete this message from the server?\r\r" + r.shown) << r.subject;
}
