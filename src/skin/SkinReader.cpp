#include "skin/SkinReader.h"

#include "config/IniLookup.h"
#include "platform/FatalEnd.h"
#include "skin/FontLayout.h"
#include "skin/SkinMessages.h"

namespace pelko {

namespace {

// One skin.ini, read once: every value is its own lookup over that copy, as
// the file format expects.
struct SkinFile {
    std::string dir;
    IniFile ini;

    std::string value(const char* section, const char* key) const { return ini.find(section, key); }
    std::string file(const char* section, const char* key) const { return dir + value(section, key); }
    void pair(const char* section, const char* key, SkinPoint& p) const
    {
        TraiteInt(value(section, key), p.x, p.y);
    }
    // One number: both halves of the split land in the same field.
    void integer(const char* section, const char* key, int32_t& field) const
    {
        TraiteInt(value(section, key), field, field);
    }
    // A number or pair with a limit: both halves land in x and y (the same
    // field for one number). Past most, the fields keep their old values and
    // SkinValueTooLarge names the limit; a conversion error part-way leaves
    // what was converted, as for any pair.
    void bounded(const char* section, const char* key, int32_t& x, int32_t& y, int32_t most,
                 const std::string& limit) const
    {
        const std::string text = value(section, key);
        const int32_t oldX = x;
        const int32_t oldY = y;
        TraiteInt(text, x, y);
        if (x > most || y > most) {
            x = oldX;
            y = oldY;
            throw SkinValueTooLarge(text, section, key, limit);
        }
    }
    // A font cell (width, height): refused past kMaxFontCell.
    void cell(const char* section, const char* key, SkinPoint& p) const
    {
        const std::string most = std::to_string(kMaxFontCell);
        bounded(section, key, p.x, p.y, kMaxFontCell, most + "," + most);
    }
};

uint8_t low8(int32_t v) { return uint8_t(uint32_t(v) & 0xFF); }

} // namespace

uint32_t ParseSkinColour(const std::string& value)
{
    if (value == kNone)
        return 0;
    // A missing comma leaves an empty number, which is a conversion error.
    const size_t c1 = value.find(',');
    const std::string redText = c1 == std::string::npos ? std::string() : value.substr(0, c1);
    const int32_t red = StrToInt(redText);
    const std::string rest = c1 == std::string::npos ? value : LTrimSpaces(value.substr(c1 + 1));
    const size_t c2 = rest.find(',');
    const std::string greenText = c2 == std::string::npos ? std::string() : rest.substr(0, c2);
    const int32_t green = StrToInt(greenText);
    const int32_t blue = StrToInt(rest.substr(c2 + 1));
    return uint32_t(low8(red)) | uint32_t(low8(green)) << 8 | uint32_t(low8(blue)) << 16;
}

bool SkinFontIsBold(const std::string& fontstyle)
{
    return LowerAscii(fontstyle).find("bold") != std::string::npos;
}

bool SkinFontIsItalic(const std::string& fontstyle)
{
    return LowerAscii(fontstyle).find("italic") != std::string::npos;
}

void ReadSkin(const std::string& skinDir, MainSkin& m, MsgWindowSkin& w)
{
    const SkinFile f{skinDir, IniFile(skinDir + "skin.ini", IfUnreadable::Fatal)};

    const std::string mainValue = f.value("[background]", "main");
    if (mainValue == kNone)
        throw FatalEnd(kSkinMainMissing);
    m.main = skinDir + mainValue;

    const std::string msgValue = f.value("[background]", "msgbkng");
    m.NoMsgWindow = msgValue == kNone;
    w.msgbkng = m.NoMsgWindow ? kNone : skinDir + msgValue;

    m.cnxbtnnormal = f.file("[connect]", "cnxbtnnormal");
    m.cnxbtnselect = f.file("[connect]", "cnxbtnselect");
    f.pair("[connect]", "position", m.connect);
    m.disbtnnormal = f.file("[disconnect]", "disbtnnormal");
    m.disbtnselect = f.file("[disconnect]", "disbtnselect");
    f.pair("[disconnect]", "position", m.disconnect);
    m.onlinebmp = f.file("[online]", "onlinebmp");
    m.notonlinebmp = f.file("[online]", "notonlinebmp");
    f.pair("[online]", "position", m.online);
    m.runmailnormal = f.file("[mailclient]", "runmailnormal");
    m.runmailselect = f.file("[mailclient]", "runmailselect");
    f.pair("[mailclient]", "position", m.mailclient);
    m.readbtnnormal = f.file("[readmsg]", "readbtnnormal");
    m.readbtnselect = f.file("[readmsg]", "readbtnselect");
    f.pair("[readmsg]", "position", m.readmsg);
    m.gotmail = f.file("[youhavemail]", "gotmail");
    m.nomail = f.file("[youhavemail]", "nomail");
    f.pair("[youhavemail]", "position", m.youhavemail);
    m.nbmsgbmp = f.file("[nbmsg]", "nbmsgbmp");
    f.cell("[nbmsg]", "size", m.nbmsgSize);
    f.pair("[nbmsg]", "position", m.nbmsg);
    m.fontbmp = f.file("[status]", "fontbmp");
    f.cell("[status]", "size", m.statusSize);
    f.pair("[status]", "position", m.status);
    f.bounded("[status]", "maxchar", m.maxchar, m.maxchar, kMaxFontChars, std::to_string(kMaxFontChars));
    if (m.maxchar == 0)
        m.maxchar = 128;

    const char* memo = "[memo_msgwindow]";
    f.integer(memo, "memo_x", w.memo_x);
    f.integer(memo, "memo_y", w.memo_y);
    f.integer(memo, "memo_width", w.memo_width);
    f.integer(memo, "memo_height", w.memo_height);
    w.fontcolor = ParseSkinColour(f.value(memo, "fontcolor"));
    const std::string fontname = f.value(memo, "fontname");
    w.fontname = fontname == kNone ? "arial" : fontname;
    w.fontstyle = f.value(memo, "fontstyle");
    const std::string fontsize = f.value(memo, "fontsize");
    if (fontsize == kNone)
        w.fontsize = 7;
    else
        TraiteInt(fontsize, w.fontsize, w.fontsize);

    w.prevbtnnormal = f.file(memo, "prevbtnnormal");
    w.prevbtnselect = f.file(memo, "prevbtnselect");
    f.pair(memo, "prevbtnpos", w.prevbtnpos);
    w.nextbtnnormal = f.file(memo, "nextbtnnormal");
    w.nextbtnselect = f.file(memo, "nextbtnselect");
    f.pair(memo, "nextbtnpos", w.nextbtnpos);
    w.replybtnnormal = f.file(memo, "replybtnnormal");
    w.replybtnselect = f.file(memo, "replybtnselect");
    f.pair(memo, "replybtnpos", w.replybtnpos);
    w.deletebtnnormal = f.file(memo, "deletebtnnormal");
    w.deletebtnselect = f.file(memo, "deletebtnselect");
    f.pair(memo, "deletebtnpos", w.deletebtnpos);
    w.closebtnnormal = f.file(memo, "closebtnnormal");
    w.closebtnselect = f.file(memo, "closebtnselect");
    f.pair(memo, "closebtnpos", w.closebtnpos);
}

} // namespace pelko
