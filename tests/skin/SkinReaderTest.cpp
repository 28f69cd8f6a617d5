#include "SkinTestFiles.h"

#include "config/IniLookup.h"
#include "platform/FatalEnd.h"
#include "skin/FontLayout.h"
#include "skin/SkinInfo.h"
#include "skin/SkinMessages.h"
#include "skin/SkinReader.h"

#include <gtest/gtest.h>

using namespace pelko;
using skintest::TempSkinDir;

namespace {

// A complete skin.ini; tests replace parts of it.
const std::string kFull = R"([background]
main = back.bmp
msgbkng = msg.bmp
[connect]
cnxbtnnormal = c0.bmp
cnxbtnselect = c1.bmp
position = 1,2
[disconnect]
disbtnnormal = d0.bmp
disbtnselect = d1.bmp
position = 3,4
[online]
onlinebmp = on.bmp
notonlinebmp = off.bmp
position = 5,6
[mailclient]
runmailnormal = m0.bmp
runmailselect = m1.bmp
position = 7,8
[readmsg]
readbtnnormal = r0.bmp
readbtnselect = r1.bmp
position = 9,10
[youhavemail]
gotmail = got.bmp
nomail = no.bmp
position = 11,12
[nbmsg]
nbmsgbmp = digits.bmp
size = 8,13
position = 13,14
[status]
fontbmp = letters.bmp
size = 6,10
position = 15,16
maxchar = 20
[memo_msgwindow]
memo_x = 30
memo_y = 40
memo_width = 300
memo_height = 200
fontcolor = 0, 128, 0
fontname = DejaVu Sans
fontstyle = Bold Italic
fontsize = 9
prevbtnnormal = p0.bmp
prevbtnselect = p1.bmp
prevbtnpos = 21,22
nextbtnnormal = n0.bmp
nextbtnselect = n1.bmp
nextbtnpos = 23,24
replybtnnormal = y0.bmp
replybtnselect = y1.bmp
replybtnpos = 25,26
deletebtnnormal = x0.bmp
deletebtnselect = x1.bmp
deletebtnpos = 27,28
closebtnnormal = q0.bmp
closebtnselect = q1.bmp
closebtnpos = 29,30
)";

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        text.replace(at, from.size(), to);
    return text;
}

} // namespace

TEST(SkinReader, FullFileFillsEveryField)
{
    TempSkinDir t;
    t.write("skin.ini", kFull);
    MainSkin m;
    MsgWindowSkin w;
    ReadSkin(t.dir, m, w);
    EXPECT_EQ(m.main, t.dir + "back.bmp");
    EXPECT_EQ(w.msgbkng, t.dir + "msg.bmp");
    EXPECT_FALSE(m.NoMsgWindow);
    EXPECT_EQ(m.cnxbtnnormal, t.dir + "c0.bmp");
    EXPECT_EQ(m.cnxbtnselect, t.dir + "c1.bmp");
    EXPECT_EQ(m.disbtnselect, t.dir + "d1.bmp");
    EXPECT_EQ(m.onlinebmp, t.dir + "on.bmp");
    EXPECT_EQ(m.notonlinebmp, t.dir + "off.bmp");
    EXPECT_EQ(m.runmailnormal, t.dir + "m0.bmp");
    EXPECT_EQ(m.readbtnselect, t.dir + "r1.bmp");
    EXPECT_EQ(m.gotmail, t.dir + "got.bmp");
    EXPECT_EQ(m.nomail, t.dir + "no.bmp");
    EXPECT_EQ(m.nbmsgbmp, t.dir + "digits.bmp");
    EXPECT_EQ(m.fontbmp, t.dir + "letters.bmp");
    const std::pair<SkinPoint*, int> points[] = {{&m.connect, 1},     {&m.disconnect, 3}, {&m.online, 5},
                                                 {&m.mailclient, 7},  {&m.readmsg, 9},    {&m.youhavemail, 11},
                                                 {&m.nbmsg, 13},      {&m.status, 15},    {&w.prevbtnpos, 21},
                                                 {&w.nextbtnpos, 23}, {&w.replybtnpos, 25}, {&w.deletebtnpos, 27},
                                                 {&w.closebtnpos, 29}};
    for (const auto& [p, x] : points) {
        EXPECT_EQ(p->x, x);
        EXPECT_EQ(p->y, x + 1);
    }
    EXPECT_EQ(m.nbmsgSize.x, 8);
    EXPECT_EQ(m.nbmsgSize.y, 13);
    EXPECT_EQ(m.statusSize.x, 6);
    EXPECT_EQ(m.statusSize.y, 10);
    EXPECT_EQ(m.maxchar, 20);
    EXPECT_EQ(w.memo_x, 30);
    EXPECT_EQ(w.memo_y, 40);
    EXPECT_EQ(w.memo_width, 300);
    EXPECT_EQ(w.memo_height, 200);
    EXPECT_EQ(w.fontcolor, 0x008000u);
    EXPECT_EQ(w.fontname, "DejaVu Sans");
    EXPECT_EQ(w.fontstyle, "Bold Italic");
    EXPECT_EQ(w.fontsize, 9);
    EXPECT_EQ(w.prevbtnnormal, t.dir + "p0.bmp");
    EXPECT_EQ(w.nextbtnselect, t.dir + "n1.bmp");
    EXPECT_EQ(w.replybtnnormal, t.dir + "y0.bmp");
    EXPECT_EQ(w.deletebtnselect, t.dir + "x1.bmp");
    EXPECT_EQ(w.closebtnnormal, t.dir + "q0.bmp");
}

TEST(SkinReader, LookupQuirksSkinAuthorsMeet)
{
    TempSkinDir t;
    MainSkin m;
    MsgWindowSkin w;

    // notonlinebmp listed first: its line also contains "onlinebmp".
    t.write("skin.ini", replaced(kFull, "onlinebmp = on.bmp\nnotonlinebmp = off.bmp",
                                 "notonlinebmp = off.bmp\nonlinebmp = on.bmp"));
    ReadSkin(t.dir, m, w);
    EXPECT_EQ(m.onlinebmp, t.dir + "off.bmp");
    EXPECT_EQ(m.notonlinebmp, t.dir + "off.bmp");

    // A [connect] without position takes the one of [disconnect].
    t.write("skin.ini", replaced(kFull, "cnxbtnselect = c1.bmp\nposition = 1,2", "cnxbtnselect = c1.bmp"));
    ReadSkin(t.dir, m, w);
    EXPECT_EQ(m.connect.x, 3);
    EXPECT_EQ(m.connect.y, 4);

    // A header with a trailing blank is not found, so no [status] key is:
    // file names end in "none", pairs are 0,0 and maxchar becomes 128.
    t.write("skin.ini", replaced(kFull, "[status]\n", "[status] \n"));
    ReadSkin(t.dir, m, w);
    EXPECT_EQ(m.fontbmp, t.dir + "none");
    EXPECT_EQ(m.statusSize.x, 0);
    EXPECT_EQ(m.statusSize.y, 0);
    EXPECT_EQ(m.maxchar, 128);
    EXPECT_EQ(m.status.x, 0);
    EXPECT_EQ(m.status.y, 0);
    EXPECT_EQ(w.memo_x, 30); // later sections still read

    // Values keep trailing blanks; a missing file key gives dir + "none".
    t.write("skin.ini", replaced(replaced(kFull, "gotmail = got.bmp\n", ""), "nomail = no.bmp", "nomail = no.bmp  "));
    ReadSkin(t.dir, m, w);
    EXPECT_EQ(m.nomail, t.dir + "no.bmp  ");
    EXPECT_EQ(m.gotmail, t.dir + "none");
}

TEST(SkinReader, ConversionErrorStopsTheReadLeavingLaterFields)
{
    TempSkinDir t;
    MainSkin m;
    MsgWindowSkin w;
    m.disconnect = {-7, -8};
    m.maxchar = 55;
    // A picture whose name contains "position", before the position line.
    t.write("skin.ini", replaced(kFull, "cnxbtnselect = c1.bmp", "cnxbtnselect = connect_position.bmp"));
    EXPECT_THROW(ReadSkin(t.dir, m, w), ConversionError);
    EXPECT_EQ(m.main, t.dir + "back.bmp");         // read before the error
    EXPECT_EQ(m.cnxbtnnormal, t.dir + "c0.bmp");
    EXPECT_EQ(m.disbtnnormal, "");                  // never reached
    EXPECT_EQ(m.disconnect.x, -7);
    EXPECT_EQ(m.maxchar, 55);

    // '10 ,20' has a blank before the comma.
    t.write("skin.ini", replaced(kFull, "position = 13,14", "position = 13 ,14"));
    MainSkin m2;
    EXPECT_THROW(ReadSkin(t.dir, m2, w), ConversionError);
    EXPECT_EQ(m2.nbmsgSize.x, 8);
    EXPECT_EQ(m2.fontbmp, "");
}

TEST(SkinReader, SizesPastWhatIsDrawnAreRefused)
{
    struct Row {
        std::string from, to, message;
    };
    const Row rows[] = {
        {"size = 6,10", "size = 2000000000,2000000000",
         "'2000000000,2000000000' is too large for size in [status] of skin.ini (at most 1024,1024)"},
        {"size = 8,13", "size = 8,1025", "'8,1025' is too large for size in [nbmsg] of skin.ini (at most 1024,1024)"},
        {"maxchar = 20", "maxchar = 2000000000",
         "'2000000000' is too large for maxchar in [status] of skin.ini (at most 256)"},
    };
    TempSkinDir t;
    for (const Row& r : rows) {
        MainSkin m;
        MsgWindowSkin w;
        m.maxchar = 55;
        t.write("skin.ini", replaced(kFull, r.from, r.to));
        try {
            ReadSkin(t.dir, m, w);
            ADD_FAILURE() << r.to << " was taken";
        } catch (const SkinValueTooLarge& e) {
            EXPECT_EQ(std::string(e.what()), r.message);
        }
        // The refused value never reaches the model; the read stops there.
        EXPECT_LE(m.statusSize.x, kMaxFontCell);
        EXPECT_LE(m.nbmsgSize.y, kMaxFontCell);
        EXPECT_EQ(m.maxchar, 55);
        EXPECT_EQ(w.memo_x, 0);
    }
    // At the bounds a skin is read.
    MainSkin m;
    MsgWindowSkin w;
    t.write("skin.ini", replaced(replaced(kFull, "size = 6,10", "size = 1024,1024"), "maxchar = 20", "maxchar = 256"));
    ReadSkin(t.dir, m, w);
    EXPECT_EQ(m.statusSize.y, 1024);
    EXPECT_EQ(m.maxchar, 256);
}

TEST(SkinReader, NumbersAndDefaults)
{
    TempSkinDir t;
    MainSkin m;
    MsgWindowSkin w;
    // A single number sets x only: y keeps what the previous read left.
    t.write("skin.ini", kFull);
    ReadSkin(t.dir, m, w);
    t.write("skin.ini", replaced(replaced(kFull, "position = 1,2", "position = 40"), "maxchar = 20", "maxchar = 0"));
    ReadSkin(t.dir, m, w);
    EXPECT_EQ(m.connect.x, 40);
    EXPECT_EQ(m.connect.y, 2);
    EXPECT_EQ(m.maxchar, 128);

    // "none" values: pairs 0,0, colour black, font arial, size 7, style kept.
    std::string text = replaced(kFull, "position = 5,6", "position = none");
    text = replaced(text, "maxchar = 20", "maxchar = none");
    text = replaced(text, "fontcolor = 0, 128, 0", "fontcolor = none");
    text = replaced(text, "fontname = DejaVu Sans", "fontname = none");
    text = replaced(text, "fontstyle = Bold Italic", "fontstyle = none");
    text = replaced(text, "fontsize = 9", "fontsize = none");
    text = replaced(text, "memo_x = 30", "memo_x = 5,6");
    t.write("skin.ini", text);
    ReadSkin(t.dir, m, w);
    EXPECT_EQ(m.online.x, 0);
    EXPECT_EQ(m.online.y, 0);
    EXPECT_EQ(m.maxchar, 128);
    EXPECT_EQ(w.fontcolor, 0u);
    EXPECT_EQ(w.fontname, "arial");
    EXPECT_EQ(w.fontstyle, "none");
    EXPECT_EQ(w.fontsize, 7);
    EXPECT_EQ(w.memo_x, 6); // both numbers land in the one field, the second last

    // No message-window background: the window is disabled, "none" kept as is.
    t.write("skin.ini", replaced(kFull, "msgbkng = msg.bmp\n", ""));
    ReadSkin(t.dir, m, w);
    EXPECT_TRUE(m.NoMsgWindow);
    EXPECT_EQ(w.msgbkng, "none");
    t.write("skin.ini", kFull);
    ReadSkin(t.dir, m, w);
    EXPECT_FALSE(m.NoMsgWindow);
}

TEST(SkinReader, Colours)
{
    EXPECT_EQ(ParseSkinColour("255,0,0"), 0x0000FFu);
    EXPECT_EQ(ParseSkinColour("0, 128, 0"), 0x008000u);
    EXPECT_EQ(ParseSkinColour("0,0,255"), 0xFF0000u);
    EXPECT_EQ(ParseSkinColour("300,0,0"), 44u);
    EXPECT_EQ(ParseSkinColour("-1,0,0"), 255u);
    EXPECT_EQ(ParseSkinColour("none"), 0u);
    EXPECT_THROW(ParseSkinColour("255"), ConversionError);
    EXPECT_THROW(ParseSkinColour("255,0"), ConversionError);
    EXPECT_THROW(ParseSkinColour("255 ,0,0"), ConversionError);
    EXPECT_THROW(ParseSkinColour(""), ConversionError);

    EXPECT_TRUE(SkinFontIsBold("Bold Italic"));
    EXPECT_TRUE(SkinFontIsItalic("Bold Italic"));
    EXPECT_TRUE(SkinFontIsBold("semiBOLD"));
    EXPECT_FALSE(SkinFontIsBold("underline"));
    EXPECT_FALSE(SkinFontIsItalic("underline"));
}

TEST(SkinReader, FatalMessages)
{
    TempSkinDir t;
    MainSkin m;
    MsgWindowSkin w;
    m.main = "kept";
    t.write("skin.ini", replaced(kFull, "main = back.bmp\n", ""));
    try {
        ReadSkin(t.dir, m, w);
        ADD_FAILURE() << "no fatal end";
    } catch (const FatalEnd& e) {
        EXPECT_EQ(std::string(e.what()),
                  "Main Background not found in Skin.ini!\rsee section [Background] in Skin.ini, line : Main=");
    }
    EXPECT_EQ(m.main, "kept");

    try {
        ReadSkin(t.dir + "missing/", m, w);
        ADD_FAILURE() << "no fatal end";
    } catch (const FatalEnd& e) {
        EXPECT_EQ(std::string(e.what()), kSkinPathNotFound);
    }
    // A skin.ini far beyond any real one is no skin file, for the reader and the info scan alike.
    t.write("skin.ini", kFull + std::string(kMaxIniBytes, ';'));
    try {
        ReadSkin(t.dir, m, w);
        ADD_FAILURE() << "no fatal end";
    } catch (const FatalEnd& e) {
        EXPECT_EQ(std::string(e.what()), kSkinPathNotFound);
    }
    EXPECT_THROW(ReadSkinInfo(t.dir + "skin.ini"), std::runtime_error);
    EXPECT_EQ(kSkinYouHaveMailInvalid.find("Invalid file for section [youhavemail]\r"), 0u);
    EXPECT_EQ(kSkinNotOnlineInvalid, "Invalid file for section [Online]\rNotOnline= ... in Skin.ini");
}

TEST(SkinInfoScan, EveryLineLastWins)
{
    TempSkinDir t;
    const std::string path = t.write("skin.ini", "; skin_name = From a comment\n"
                                                 "[background]\n"
                                                 "main = back.bmp\n"
                                                 "skin_name=  First\n"
                                                 "[about]\n"
                                                 "SKIN_NAME = Second  \n"
                                                 "skin_author = A = B\n"
                                                 "skin_web skin_mail = both\n"
                                                 "skin_info\n");
    const SkinInfo info = ReadSkinInfo(path);
    EXPECT_EQ(info.dir, t.dir);
    EXPECT_EQ(info.name, "Second  ");
    EXPECT_EQ(info.author, "A = B");
    EXPECT_EQ(info.mail, "both");
    EXPECT_EQ(info.web, "both");
    EXPECT_EQ(info.info, "skin_info"); // no "=": the whole line

    const SkinInfo none = ReadSkinInfo(t.write("other.ini", "[background]\nmain = a.bmp\n"));
    EXPECT_EQ(none.name, "");
    EXPECT_EQ(none.dir, t.dir);
    EXPECT_THROW(ReadSkinInfo(t.dir + "missing.ini"), std::runtime_error);
    EXPECT_THROW(ReadSkinInfo(t.dir), std::runtime_error);
    EXPECT_EQ(DirectoryPart("/a/b/skin.ini"), "/a/b/");
    EXPECT_EQ(DirectoryPart("skin.ini"), "");
}
