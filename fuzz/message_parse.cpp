// Whole messages through the parser. The input is what a server sends after
// "+OK" to a RETR: CR LF lines, dot-stuffed, ending with "." (or not, when
// the input is cut). It is read through the in-memory connection in chunks
// whose size comes from the input, then once more as a stored message file
// (the reader fed straight from the bytes);
// both results are also turned into the message window's text.
// Checked besides "no crash": attachment names are safe file names, every
// attachment has its private file, and no temporary file outlives its message.
#include "FuzzSupport.h"
#include "viewcore/MessageText.h"
#include "wire/MemoryTransport.h"
#include "wire/MessageClient.h"
#include "wire/Pop3ReplyReader.h"
#include "mime/Readable.h"
#include "mime/StoredMessage.h"
#include "mime/TempFiles.h"
#include "wire/WireErrors.h"

#include <dirent.h>
#include <string>
#include <sys/stat.h>

using namespace pelko;

namespace {

size_t tempFileCount()
{
    size_t n = 0;
    if (DIR* d = opendir(TempPath().c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name).compare(0, 3, "PBE") == 0)
                ++n;
        closedir(d);
    }
    return n;
}

bool isFile(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void checkMessage(const TWireMessage& m)
{
    for (const TAttachment& a : m.Attachments) {
        FUZZ_CHECK(!a.FileName.empty() && a.FileName != "." && a.FileName != "..");
        FUZZ_CHECK(a.FileName.find('/') == std::string::npos);
        FUZZ_CHECK(a.StoredPathName.compare(0, TempPath().size(), TempPath()) == 0);
        FUZZ_CHECK(isFile(a.StoredPathName));
        const std::string shown = SafeAttachmentName(a.FileName);
        FUZZ_CHECK(!shown.empty() && shown != "." && shown != "..");
        for (char c : shown)
            FUZZ_CHECK(c != '/' && c != '\0' && static_cast<unsigned char>(c) >= 32);
    }
    // The window's text, whole and header only; its header lines stay lines.
    for (bool headerOnly : {false, true}) {
        const TStrings lines = MessageTextLines(m, headerOnly);
        FUZZ_CHECK(lines.size() >= 4);
        for (size_t i = 0; i < 3; ++i)
            FUZZ_CHECK(lines[i].find('\n') == std::string::npos && lines[i].find('\r') == std::string::npos);
    }
    (void)m.Date();
    (void)m.Too();
    (void)m.CCList();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::ScratchDir(); // sets TMPDIR before the temporary path is first asked for
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const size_t before = tempFileCount();
    {
        TWireMessage m;
        TWireMessageClient client;
        client.SetReplyReader(std::make_unique<Pop3ReplyReader>());
        client.AttachTransport(std::make_unique<MemoryTransport>(bytes, size % 13));
        try {
            client.ReceiveHeaders(m, "");
            client.ReceiveBody(m);
        } catch (const EWireException&) {
            // closed before the end line, boundary error, over-long line
        }
        checkMessage(m);
    }
    {
        TWireMessage m;
        try {
            ParseStoredMessage(bytes, m);
        } catch (const EMessageFormat&) {
            // boundary error, over-long line
        }
        checkMessage(m);
    }
    FUZZ_CHECK(tempFileCount() == before);
    return 0;
}
