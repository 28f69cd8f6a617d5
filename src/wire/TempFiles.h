#pragma once
// Private temporary files for received attachments.
#include <string>

namespace pelko {

// $TMPDIR or /tmp, ending in "/".
const std::string& TempPath();

// Creates a new empty file whose name starts with "PBE" in TempPath(),
// readable by its owner only, and returns its full path (empty on failure).
// The file is registered for deletion when the program ends.
std::string MakeTempFileName();

// Deletes a file made by MakeTempFileName and forgets it.
void RemoveTempFile(const std::string& path);

// Deletes every file still registered (also run at normal exit).
void RemoveAllTempFiles();

} // namespace pelko
