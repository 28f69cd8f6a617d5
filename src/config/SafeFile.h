#pragma once
// Whole-file writes that never leave a half-written file behind: the new
// content goes to a temporary file beside the target, which then replaces
// the target in one rename.
#include <stdexcept>
#include <string>
#include <sys/types.h>

namespace pelko {

// A file could not be written; the old file is untouched. The message names
// the file and the reason, e.g. "Cannot write /x/Pelko.ini: No space left on device".
class FileWriteError : public std::runtime_error {
public:
    explicit FileWriteError(const std::string& text) : std::runtime_error(text) {}
};

// Whether a symbolic link at the path is followed.
enum class LinkRule {
    Follow, // the file the link points at is replaced and the link stays
    Refuse, // a link is refused like any other name that is not a regular file
};

// What the permission bits of a rewritten file become.
enum class FileModeRule {
    KeepExisting, // an existing file keeps its bits; a new one gets the mode less the umask
    Exactly,      // the file ends up with exactly the mode given, old or new (private files)
};

// Replaces the content of `path` with `bytes`. An existing file keeps its
// permission bits (unless rule is Exactly) and, where allowed, its owner; a
// new file is created with newFileMode, reduced by the umask as open(2) does
// (rule Exactly: not reduced); a file we may not write is refused as an
// in-place write would be. A symbolic link is followed (unless links says
// Refuse), so the file it points at is replaced and the link stays. Only a
// regular file is ever replaced: a name that leads to a device, a pipe, a
// socket or a folder is refused and left as it is.
// Throws FileWriteError and removes the temporary file on any failure.
void WriteFileAtomically(const std::string& path, const std::string& bytes, mode_t newFileMode,
                         FileModeRule rule = FileModeRule::KeepExisting, LinkRule links = LinkRule::Follow);

} // namespace pelko
