#pragma once
// Private temporary files for received attachments.
//
// They live in a directory of Pelko's own, one per running process:
// $TMPDIR (or /tmp)/pelko-<user>/<pid>/, both levels mode 0700 (when that
// first name is taken by something not ours: pelko-<user>-XXXXXX, made once
// and found again by later runs). A process
// holds a lock on <pid>.lock beside its directory while it runs, so a later
// run can tell the directories of processes that are gone (killed, crashed)
// from those of processes still running, and removes only the former.
#include <string>

namespace pelko {

// Makes this process's directory, removes what runs that are gone left
// behind, and has SIGINT and SIGTERM remove this process's files before the
// process ends as the signal would have ended it (only where the signal still
// has its default action). Done once; the first TempPath() does it too.
void StartTempFiles();

// This process's private directory, ending in "/".
const std::string& TempPath();

// The directory holding every process's directory ($TMPDIR/pelko-<user>/).
const std::string& TempFilesRoot();

// Creates a new empty file whose name starts with "PBE" in TempPath(),
// readable by its owner only, and returns its full path (empty on failure).
// The file is registered for deletion when the program ends.
std::string MakeTempFileName();

// Deletes a file made by MakeTempFileName and forgets it.
void RemoveTempFile(const std::string& path);

// Deletes every file still registered (also run at normal exit, which then
// removes the process's directory as well).
void RemoveAllTempFiles();

} // namespace pelko
