#pragma once
// pelko-check's command line.
#include <string>

namespace pelko::cli {

enum class Mode { Check, Dump, Parse, Help, Trust, Watch };

struct CheckOptions {
    Mode mode = Mode::Check;
    std::string dir;       // where Accounts.ini is; empty: the executable's directory
    std::string account;   // --account NAME
    bool json = false;     // --json (check mode)
    bool noState = false;  // --no-state: the seen-ids file is read, not written
    int dumpNumber = 0;    // --dump N
    bool headersOnly = false;
    std::string saveDir;   // --save-dir DIR
    std::string parseFile; // --parse FILE
    int timeoutMs = 60000; // --timeout MS
    std::string trustAccount; // --trust-certificate NAME
    std::string execCommand;  // --exec CMD (with --watch)
    int everySeconds = 60;    // --every S: accounts without push are checked this often (with --watch)
};

// Fills options from argv; false with a reason in error for a usage error.
bool ParseCheckOptions(int argc, char** argv, CheckOptions& options, std::string& error);

extern const char* const kUsageText;

} // namespace pelko::cli
