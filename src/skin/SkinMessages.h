#pragma once
// The messages Pelko shows about a broken skin. "\r" starts the second line
// of the message box. The path message comes from the line lookup itself.
#include "config/IniLookup.h"

#include <stdexcept>
#include <string>

namespace pelko {

// [background] main is missing from skin.ini (the program ends).
inline const std::string kSkinMainMissing =
    "Main Background not found in Skin.ini!\rsee section [Background] in Skin.ini, line : Main=";

// A button or state picture of the main window cannot be loaded (the program ends).
inline const std::string kSkinInvalidFile =
    "INVALID FILE in SKIN.INI !\rCheck your bitmaps files in Skin.ini";

// The main background cannot be loaded or applied (the program ends).
inline const std::string kSkinMainNotFound =
    "Main background not found !\rCheck [Background] in SKIN.INI";

// The no-mail picture cannot be loaded while showing the connection state.
inline const std::string kSkinYouHaveMailInvalid =
    "Invalid file for section [youhavemail]\rNoMail= ... in Skin.ini";

// The online picture cannot be loaded.
inline const std::string kSkinOnlineInvalid = "Invalid file for section [Online]\rOnline= ... in Skin.ini";

// The not-online picture cannot be loaded.
inline const std::string kSkinNotOnlineInvalid =
    "Invalid file for section [Online]\rNotOnline= ... in Skin.ini";

// A message-window button picture cannot be loaded (the window opens anyway).
inline const std::string kSkinMemoBitmapNotFound = "Bitmap not found for [Memo_msgWindow] in skin.ini";

// A number of skin.ini past what Pelko draws ("size" of a font cell, "maxchar"):
// a conversion error of its own wording, so it is reported and handled as a
// value that is no number (the rest of the read skipped).
class SkinValueTooLarge : public ConversionError {
public:
    SkinValueTooLarge(const std::string& value, const std::string& section, const std::string& key,
                      const std::string& limit)
        : ConversionError(OwnMessage{}, "'" + value + "' is too large for " + key + " in " + section +
                                            " of skin.ini (at most " + limit + ")") {}
};

// skin.ini cannot be read: kSkinPathNotFound (config/IniLookup.h), raised by FindInSkin.

} // namespace pelko
