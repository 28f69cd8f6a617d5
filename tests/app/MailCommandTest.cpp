// Turning a configured or registered mail command into a program and its
// parameters.
#include "app/MailCommand.h"

#include <gtest/gtest.h>

namespace pelko {

TEST(MailCommand, ConfiguredClientSplitsAtTheFirstComma)
{
    MailLaunch l = SplitMyMailClient("/opt/mail/client,/compose");
    EXPECT_EQ(l.program, "/opt/mail/client");
    EXPECT_EQ(l.parameters, "/compose");

    l = SplitMyMailClient("/opt/mail/client");
    EXPECT_EQ(l.program, "/opt/mail/client");
    EXPECT_EQ(l.parameters, "");

    // Only the first comma splits; nothing is trimmed.
    l = SplitMyMailClient(" prog , -a,b ");
    EXPECT_EQ(l.program, " prog ");
    EXPECT_EQ(l.parameters, " -a,b ");

    l = SplitMyMailClient("none"); // setting absent: started (and failing) silently
    EXPECT_EQ(l.program, "none");
}

TEST(MailCommand, RegisteredExeCommandIsCutAfterTheExe)
{
    // Quoted path in upper case, switches and a placeholder after it.
    MailLaunch l = ProcessMailCommand("\"C:\\Program Files\\Outlook Express\\MSIMN.EXE\" /mailurl:%1");
    EXPECT_EQ(l.program, "C:\\Program Files\\Outlook Express\\MSIMN.EXE");
    EXPECT_EQ(l.parameters, "");

    // Netscape in any letter case gets " -mail", with its leading blank.
    l = ProcessMailCommand("C:\\Netscape\\NetScape.Exe -compose \"%1\"");
    EXPECT_EQ(l.program, "C:\\Netscape\\NetScape.Exe");
    EXPECT_EQ(l.parameters, " -mail");

    // The first ".exe" decides, even inside a directory name.
    l = ProcessMailCommand("C:\\tools.exe\\mail.exe %1");
    EXPECT_EQ(l.program, "C:\\tools.exe");
}

TEST(MailCommand, ExecLineGivesProgramAndArguments)
{
    MailLaunch l = ProcessMailCommand("thunderbird -compose");
    EXPECT_EQ(l.program, "thunderbird");
    EXPECT_EQ(l.parameters, "-compose");

    l = ProcessMailCommand("/usr/bin/evolution");
    EXPECT_EQ(l.program, "/usr/bin/evolution");
    EXPECT_EQ(l.parameters, "");

    // A quoted program path with a blank, arguments kept as written.
    l = ProcessMailCommand("\"/opt/My Mail/mail\"  --new \"a b\"");
    EXPECT_EQ(l.program, "/opt/My Mail/mail");
    EXPECT_EQ(l.parameters, "--new \"a b\"");

    EXPECT_EQ(ProcessMailCommand("").program, "");
    EXPECT_EQ(ProcessMailCommand("   ").program, "");
}

} // namespace pelko
