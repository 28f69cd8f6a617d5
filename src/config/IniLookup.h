#pragma once
// Line lookup over Pelko's three text files (Pelko.ini, Accounts.ini,
// skin.ini). Its matching rules are part of the file format: whole-line
// case-insensitive section headers, substring key match that does not stop
// at the next section, CR line ends, byte 26 ends the file.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace pelko {

// The result of a lookup that found nothing; readers treat it as missing.
inline const std::string kNone = "none";

// Message shown (then the program ends) when a settings or skin file cannot be read.
inline const std::string kSkinPathNotFound =
    "SKIN PATH not found !\rCheck the PELKO.INI line : current_skin = your skin dir.";

// A value that is not a number where one is needed ('10 ,20', 'NONE').
class ConversionError : public std::runtime_error {
public:
    explicit ConversionError(const std::string& text)
        : std::runtime_error("'" + text + "' is not a valid integer value") {}

protected:
    // For a number that cannot be taken for another reason, with its own message.
    struct OwnMessage {};
    ConversionError(OwnMessage, const std::string& message) : std::runtime_error(message) {}
};

// The byte that ends a text file wherever it stands.
constexpr char kEndOfFileByte = 26;

// Splits file bytes into lines: CR ends a line (an LF right after it belongs
// to the line end), a lone LF is part of the line, kEndOfFileByte ends the file.
std::vector<std::string> SplitIniLines(const std::string& bytes);

// The largest text file Pelko reads (Pelko.ini, Accounts.ini, skin.ini):
// real ones hold a few dozen lines. A bigger file counts as unreadable.
constexpr size_t kMaxIniBytes = size_t(1) << 20;

// The bytes of a text file of at most kMaxIniBytes; false when it is missing,
// unreadable, a directory or bigger.
bool ReadIniBytes(const std::string& fileName, std::string& bytes);

// What a file that cannot be read gives; each reader says which it wants.
enum class IfUnreadable {
    Fatal, // FatalEnd with kSkinPathNotFound (Pelko.ini, skin.ini)
    Empty, // a copy whose every lookup is "" (Accounts.ini)
};

// One file read once, its lookups run over the copy in memory: a load costs
// one read whatever number of values it asks for.
class IniFile {
public:
    IniFile(const std::string& fileName, IfUnreadable ifUnreadable);
    // FindInLines over the copy ("" for an unreadable file read with IfUnreadable::Empty).
    std::string find(const std::string& section, const std::string& key) const;
    const std::vector<std::string>& lines() const { return lines_; }

private:
    std::vector<std::string> lines_;
    bool unreadable_ = false;
};

// Looks up Key, inside the header line Section (or the whole file when
// Section is empty). Returns "none" when not found. A file that cannot be
// read gives what ifUnreadable says.
std::string FindInSkin(const std::string& fileName, const std::string& section, const std::string& key,
                       IfUnreadable ifUnreadable);

// Same lookup over lines already read (one pass, no I/O).
std::string FindInLines(const std::vector<std::string>& lines, const std::string& section,
                        const std::string& key);

// Removes leading blanks (code 32 only).
std::string LTrimSpaces(const std::string& text);

// "x,y" into X and Y; "x" sets X only; "none" or "" gives 0,0. Raises
// ConversionError for anything that is not a number.
void TraiteInt(const std::string& text, int32_t& x, int32_t& y);

// One integer: leading blanks, optional sign, decimal digits, or a "$"/"0x"
// hexadecimal number. Raises ConversionError otherwise.
int32_t StrToInt(const std::string& text);

// ASCII-only case folding.
std::string LowerAscii(std::string text);
bool EqualsIgnoreCase(const std::string& a, const std::string& b);

} // namespace pelko
