#pragma once
// The values read from a skin's skin.ini. File fields hold full paths
// (skin directory + value as written).
#include <cstdint>
#include <string>

namespace pelko {

struct SkinPoint {
    int32_t x = 0;
    int32_t y = 0;
};

// Main-window half: kept by the main window.
struct MainSkin {
    std::string main, cnxbtnnormal, cnxbtnselect, readbtnnormal, readbtnselect, nbmsgbmp, fontbmp,
        onlinebmp, notonlinebmp, disbtnnormal, disbtnselect, runmailnormal, runmailselect, gotmail,
        nomail;
    int32_t maxchar = 128;
    SkinPoint connect, readmsg, nbmsg, status, online, disconnect, mailclient, youhavemail;
    SkinPoint nbmsgSize, statusSize; // cell width (x) and height (y)
    bool NoMsgWindow = false;
};

// Message-window half: shared with the message window.
struct MsgWindowSkin {
    std::string msgbkng = "none";
    int32_t memo_x = 0, memo_y = 0, memo_width = 0, memo_height = 0, fontsize = 7;
    uint32_t fontcolor = 0; // red in the low byte, then green, then blue
    std::string fontname = "arial", fontstyle;
    std::string prevbtnnormal, prevbtnselect, nextbtnnormal, nextbtnselect, replybtnnormal,
        replybtnselect, deletebtnnormal, deletebtnselect, closebtnnormal, closebtnselect;
    SkinPoint prevbtnpos, nextbtnpos, replybtnpos, deletebtnpos, closebtnpos;
};

} // namespace pelko
