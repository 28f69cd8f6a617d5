#include "platform/Platform.h"
#include "platform_qt/QtPlatform.h"

#include <gtest/gtest.h>

using namespace pelko;

TEST(PlatformText, CarriageReturnsBecomeLineBreaks)
{
    EXPECT_EQ(messageLines("PELKO.INI not found !\r\rCreate"), "PELKO.INI not found !\n\nCreate");
}

TEST(PlatformText, PipeFiltersBecomeQtFilters)
{
    EXPECT_EQ(qtFilterFromPipes("Ini files (*.ini) | *.ini"), "Ini files (*.ini);;All files (*)");
    EXPECT_EQ(qtFilterFromPipes("zip file (*.zip)|*.zip|all (*.*)|*.*"),
              "zip file (*.zip);;all (*.*);;All files (*)");
}

TEST(PlatformText, DesktopExecLineLosesFieldCodes)
{
    const std::string desktop = "[Desktop Entry]\nName=Mail\nExec=thunderbird -compose %u\n"
                                "[Desktop Action New]\nExec=other\n";
    EXPECT_EQ(desktopExecLine(desktop), "thunderbird -compose");
    EXPECT_EQ(desktopExecLine("[Desktop Entry]\nExec=\"/opt/m y/mail\" %U --x=100%%\n"),
              "\"/opt/m y/mail\" --x=100%");
    EXPECT_EQ(desktopExecLine("[Other]\nExec=x\n"), "");
}

TEST(PlatformText, LinksWithoutASchemeOpenAsAnAddressBarWould)
{
    EXPECT_EQ(urlFromLinkText("www.example.org").toString(), "http://www.example.org");
    EXPECT_EQ(urlFromLinkText("https://pelko.example.org/skins").toString(), "https://pelko.example.org/skins");
    EXPECT_EQ(urlFromLinkText("mailto:skins@pelko.example.org").toString(), "mailto:skins@pelko.example.org");
    EXPECT_EQ(urlFromLinkText("/usr/share/doc").toString(), "file:///usr/share/doc");
}

TEST(PlatformText, NotificationTextsCarryNoMarkupAndNoControls)
{
    // The body is markup for the servers that say so: a sender's link or image stays text.
    EXPECT_EQ(notificationText("Work: 2 messages\nFrom: <a href=\"https://x.example\">Bank</a> & Co\x07\x1b[1m"
                               "\nSubject: <img src=\"file:///etc/passwd\"/>\x7f",
                               true),
              "Work: 2 messages\nFrom: &lt;a href=\"https://x.example\"&gt;Bank&lt;/a&gt; &amp; Co[1m"
              "\nSubject: &lt;img src=\"file:///etc/passwd\"/&gt;");
    EXPECT_EQ(notificationText("Pelko: <new>\r\tmail & more\n", false), "Pelko: <new>mail & more\n");
}

TEST(PlatformText, NotificationTextsAreShortAndRunAsWritten)
{
    const struct {
        std::string text, sent;
    } rows[] = {
        // A sender that turns its text around, a subject that makes lines of its own.
        {"\xe2\x80\xae" "moc.knab\xe2\x81\xa6 \xe2\x80\x94 Pay\xe2\x80\xa8now\xe2\x80\xa9" "ok\xc2\x9b",
         "moc.knab \xe2\x80\x94 Pay now ok"},
        {std::string(1 << 20, 's') + "\nnext", std::string(199, 's') + "\xe2\x80\xa6\nnext"},
        {std::string(12, '\n'), std::string(10, '\n') + "\xe2\x80\xa6"},
    };
    std::string overrides;
    for (int i = 0; i < 1400; ++i)
        overrides += "\xe2\x80\xae";
    EXPECT_EQ(notificationText(overrides + "x", true), "\xe2\x80\xa6"); // nothing shown, not half a character
    for (const auto& r : rows)
        EXPECT_EQ(notificationText(r.text, true), r.sent);
}
