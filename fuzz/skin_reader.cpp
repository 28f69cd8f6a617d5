// The skin reader and the skin-information scan over arbitrary skin.ini bytes.
// Only the documented failures may come out (fatal messages, bad numbers);
// what is read must keep the reader's promises.
#include "FuzzSupport.h"
#include "config/IniLookup.h"
#include "platform/FatalEnd.h"
#include "skin/SkinInfo.h"
#include "skin/SkinMessages.h"
#include "skin/SkinReader.h"

#include <string>

using namespace pelko;

namespace {

bool startsWith(const std::string& s, const std::string& prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string dir = fuzz::ScratchDir();
    fuzz::WriteFile(dir + "skin.ini", data, size);

    MainSkin main;
    MsgWindowSkin msg;
    try {
        ReadSkin(dir, main, msg);
        // Every file value is a path inside the skin directory.
        for (const std::string* f : {&main.main, &main.cnxbtnnormal, &main.fontbmp, &main.nbmsgbmp,
                                     &msg.prevbtnnormal, &msg.closebtnselect})
            FUZZ_CHECK(startsWith(*f, dir));
        FUZZ_CHECK(main.maxchar != 0);
        FUZZ_CHECK(main.NoMsgWindow == (msg.msgbkng == kNone));
        FUZZ_CHECK((msg.fontcolor & 0xFF000000u) == 0);
    } catch (const FatalEnd& e) {
        FUZZ_CHECK(e.what() == kSkinMainMissing);
    } catch (const ConversionError&) {
    }

    const SkinInfo info = ReadSkinInfo(dir + "skin.ini");
    FUZZ_CHECK(info.dir == dir);
    for (const std::string* v : {&info.name, &info.author, &info.mail, &info.web, &info.info})
        FUZZ_CHECK(v->empty() || (*v)[0] != ' ');

    // The colour parser on the first line of the input as well.
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    try {
        const uint32_t colour = ParseSkinColour(bytes.substr(0, bytes.find('\r')));
        FUZZ_CHECK((colour & 0xFF000000u) == 0);
    } catch (const ConversionError&) {
    }
    return 0;
}
