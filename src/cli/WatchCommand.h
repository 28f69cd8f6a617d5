#pragma once
// pelko-check --watch: stays connected and prints one JSON line per change
//   {"account":NAME,"count":N,"new":K,"new_messages":[{"uid":..,"from":..,"subject":..,"date":..}]}
// ("new" and "new_messages" only when mail arrived; a check on the timer
// names messages by "number" in place of "uid" and "date"), or {"account":NAME,"error":TEXT} when a
// connection fails. IMAP accounts whose server offers IDLE are watched
// (MailWatch); the others are checked every --every seconds. With --exec
// CMD, CMD runs once per new message (see ExecCommand.h), the message in
// PELKO_ACCOUNT, PELKO_COUNT, PELKO_FROM, PELKO_SUBJECT, PELKO_DATE and
// PELKO_UID (PELKO_NUMBER from a check on the timer). Ends on SIGINT or SIGTERM (status 0),
// or when standard output is gone (status 1).
#include "cli/CheckOptions.h"

#include <iosfwd>

namespace pelko::cli {

int RunWatch(const CheckOptions& o, std::ostream& out, std::ostream& err);

} // namespace pelko::cli
