#pragma once
// Base64 (RFC 2045 alphabet) decoding and encoding.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace pelko {

// 4 characters into 1 to 3 bytes; raises std::runtime_error
// "DecodeUnit length error." for any other length.
std::string DecodeUnit(const std::string& unit);

// One Base64 line: whole groups of 4 decoded, a remainder of 1 to 3
// characters ignored. No output cap.
std::string DecodeLine(const std::string& line);

std::string EncodeUnit(const std::string& bytes); // 1 to 3 bytes into 4 characters
std::string EncodeLine(const std::string& bytes);  // whole input, no line end

// Encodes a file in 45-byte blocks, one Base64 line (60 characters for a full
// block) per block, then one empty line. Raises std::runtime_error "No Event
// Defined" when writeLine is empty, and a file error when it cannot be read.
void EncodeFile(const std::string& path, const std::function<void(const std::string& line)>& writeLine);

// Decodes a whole Base64 text leniently (characters outside the alphabet
// skipped, stops at "=", a final partial group flushed).
std::string DecodeBase64Text(const std::string& text);

// Decoder for a stream of Base64 lines (an attachment): characters outside
// the alphabet are skipped, characters left over at the end of a line are
// carried into the next one, "=" ends a group (and decoding goes on after it).
class Base64StreamDecoder {
public:
    // Decodes one line, appending the bytes to out.
    void feed(const char* data, size_t len, std::string& out);
    // Call at the end: flushes what a final partial group can still give.
    void finish(std::string& out);

private:
    uint32_t acc_ = 0;
    int have_ = 0;
};

} // namespace pelko
