#include "cli/CheckOptions.h"

#include <cstdlib>
#include <cstring>

namespace pelko::cli {

const char* const kUsageText =
    "usage: pelko-check [--dir DIR] [--account NAME] [--json [--no-state]]\n"
    "       pelko-check --dump N [--headers-only] [--save-dir DIR] [--account NAME] [--dir DIR]\n"
    "       pelko-check --parse FILE [--headers-only] [--save-dir DIR]\n"
    "       pelko-check --trust-certificate NAME [--dir DIR]\n"
    "       pelko-check --watch [--exec CMD] [--every S] [--no-state] [--account NAME] [--dir DIR]\n"
    "Checks the mailboxes of DIR/Accounts.ini (default: the folder Pelko uses),\n"
    "prints one line per account (NAME: COUNT, or NAME: error: TEXT), or prints one\n"
    "message as the message window shows it. --trust-certificate shows the SHA-256\n"
    "fingerprint of the certificate NAME's server presents and, when you answer yes,\n"
    "trusts that certificate for NAME (kept in DIR/Pelko.pins, as the window's box does).\n"
    "--watch stays connected (IMAP accounts in IDLE, the others checked every S\n"
    "seconds, 60 by default) and prints one JSON line per change; --exec runs CMD\n"
    "(no shell) for each new message, the message in PELKO_* environment variables.\n"
    "Other options: --timeout MS, --help.\n"
    "Exit status: 0 all went well, 1 a check or fetch failed, 2 usage error.\n";

namespace {

bool PositiveNumber(const char* text, int& value)
{
    if (!text || !*text)
        return false;
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (*end != '\0' || v < 1 || v > 2147483647L)
        return false;
    value = static_cast<int>(v);
    return true;
}

} // namespace

bool ParseCheckOptions(int argc, char** argv, CheckOptions& o, std::string& error)
{
    bool dump = false, parse = false, trust = false, watch = false, every = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                error = std::string(name) + " needs a value";
                return nullptr;
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            o.mode = Mode::Help;
            return true;
        } else if (arg == "--dir") {
            const char* v = value("--dir");
            if (!v)
                return false;
            o.dir = v;
        } else if (arg == "--account") {
            const char* v = value("--account");
            if (!v)
                return false;
            o.account = v;
        } else if (arg == "--json") {
            o.json = true;
        } else if (arg == "--no-state") {
            o.noState = true;
        } else if (arg == "--dump") {
            const char* v = value("--dump");
            if (!v)
                return false;
            if (!PositiveNumber(v, o.dumpNumber)) {
                error = "--dump needs a message number from 1 up";
                return false;
            }
            dump = true;
        } else if (arg == "--headers-only") {
            o.headersOnly = true;
        } else if (arg == "--save-dir") {
            const char* v = value("--save-dir");
            if (!v)
                return false;
            o.saveDir = v;
        } else if (arg == "--parse") {
            const char* v = value("--parse");
            if (!v)
                return false;
            o.parseFile = v;
            parse = true;
        } else if (arg == "--trust-certificate") {
            const char* v = value("--trust-certificate");
            if (!v)
                return false;
            o.trustAccount = v;
            trust = true;
        } else if (arg == "--watch") {
            watch = true;
        } else if (arg == "--exec") {
            const char* v = value("--exec");
            if (!v)
                return false;
            o.execCommand = v;
        } else if (arg == "--every") {
            const char* v = value("--every");
            if (!v)
                return false;
            if (!PositiveNumber(v, o.everySeconds)) {
                error = "--every needs seconds from 1 up";
                return false;
            }
            every = true;
        } else if (arg == "--timeout") {
            const char* v = value("--timeout");
            if (!v)
                return false;
            if (!PositiveNumber(v, o.timeoutMs)) {
                error = "--timeout needs milliseconds from 1 up";
                return false;
            }
        } else {
            error = "unknown argument: " + arg;
            return false;
        }
    }
    if (dump && parse) {
        error = "--dump and --parse do not go together";
        return false;
    }
    if (watch) {
        if (dump || parse || trust || o.json || o.headersOnly || !o.saveDir.empty()) {
            error = "--watch goes only with --exec, --every, --no-state, --account, --dir and --timeout";
            return false;
        }
        o.mode = Mode::Watch;
        return true;
    }
    if (!o.execCommand.empty() || every) {
        error = std::string(every ? "--every" : "--exec") + " needs --watch";
        return false;
    }
    if (trust) {
        if (dump || parse || o.json || !o.account.empty() || o.headersOnly || !o.saveDir.empty()) {
            error = "--trust-certificate goes only with --dir and --timeout";
            return false;
        }
        o.mode = Mode::Trust;
        return true;
    }
    o.mode = dump ? Mode::Dump : parse ? Mode::Parse : Mode::Check;
    if (o.noState && !o.json) {
        error = "--no-state only goes with --json";
        return false;
    }
    if (o.json && o.mode != Mode::Check) {
        error = "--json only goes with a check";
        return false;
    }
    if (o.mode == Mode::Check && (o.headersOnly || !o.saveDir.empty())) {
        error = "--headers-only and --save-dir need --dump or --parse";
        return false;
    }
    if (o.mode == Mode::Parse && (!o.account.empty() || !o.dir.empty())) {
        error = "--parse reads a file: --account and --dir do not apply";
        return false;
    }
    return true;
}

} // namespace pelko::cli
