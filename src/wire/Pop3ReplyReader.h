#pragma once
// The replies of POP3 (RFC 1939). A status reply is the first line that is
// not blank, trimmed: "+OK" gives kReplyOk, "-ERR" kReplyErr (letter case
// counts; only the first three or four characters are looked at), anything
// else the number its first three characters make, or kReplyErr when they
// make none. A line whose fourth character is "-" ("250-") opens a reply of
// numbered lines that runs up to the first line beginning with the same
// three characters and a blank; all its lines go to ResponseLines. The data
// after a reply (a listing, a message) runs up to the end line ".", and a
// line that begins ".." loses its first dot (the server doubles a leading
// dot on every line).
#include "wire/ReplyReader.h"

namespace pelko {

class Pop3ReplyReader : public ReplyReader {
public:
    void ReadReply(TWireSocket& s) override;

    void BeginData() override { dataEnded_ = false; }
    bool NextDataLine(TWireSocket& s, std::string_view& line) override;
    bool DataEnded() const override { return dataEnded_; }

private:
    bool dataEnded_ = false;
};

} // namespace pelko
