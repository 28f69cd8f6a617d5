// pelko-check: Pelko's mailbox check from the command line.
#include "cli/CheckCommands.h"
#include "cli/CheckOptions.h"
#include "cli/TerminalText.h"
#include "cli/TrustCommand.h"
#include "cli/WatchCommand.h"
#include "mime/TempFiles.h"

#include <csignal>
#include <iostream>

int main(int argc, char** argv)
{
    using namespace pelko::cli;
    std::signal(SIGPIPE, SIG_IGN);
    // Before anything else: what a killed earlier run left goes, and an
    // interrupted run takes its attachment files with it.
    pelko::StartTempFiles();
    CheckOptions options;
    std::string error;
    if (!ParseCheckOptions(argc, argv, options, error)) {
        std::cerr << "pelko-check: " << TerminalText(error) << "\n" << kUsageText;
        return kExitUsage;
    }
    int status = kExitUsage;
    switch (options.mode) {
    case Mode::Help:
        std::cout << kUsageText;
        return kExitOk;
    case Mode::Check:
        status = RunCheck(options, std::cout, std::cerr);
        break;
    case Mode::Dump:
        status = RunDump(options, std::cout, std::cerr);
        break;
    case Mode::Parse:
        status = RunParse(options, std::cout, std::cerr);
        break;
    case Mode::Watch:
        status = RunWatch(options, std::cout, std::cerr);
        break;
    case Mode::Trust:
        status = RunTrust(options, std::cin, std::cout, std::cerr);
        break;
    }
    std::cout.flush();
    pelko::RemoveAllTempFiles();
    return status;
}
