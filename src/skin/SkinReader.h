#pragma once
// Fills the skin model from <skinDir>skin.ini, one line lookup per value,
// in the fixed key order skin authors rely on (a missing key is looked for
// in the later sections, so the order decides which line is found).
#include "skin/SkinModel.h"

#include <cstdint>
#include <string>

namespace pelko {

// skinDir always ends in "/". Every file value becomes skinDir + value.
// - [background] main missing: throws FatalEnd(kSkinMainMissing) before any
//   field changes.
// - skin.ini unreadable: FindInSkin throws FatalEnd(kSkinPathNotFound).
// - a pair, integer or colour that is no number: throws ConversionError;
//   the fields not read yet keep what they held.
// Fields are overwritten, never reset: a single-number pair keeps its old y.
void ReadSkin(const std::string& skinDir, MainSkin& main, MsgWindowSkin& msg);

// "r,g,b" (blanks allowed after a comma) as a colour value, red in the low
// byte, each part cut to 8 bits. "none" gives 0. Throws ConversionError for
// anything else (a single number, "255,0").
uint32_t ParseSkinColour(const std::string& value);

// The memo font style words: bold / italic anywhere, letter case ignored.
bool SkinFontIsBold(const std::string& fontstyle);
bool SkinFontIsItalic(const std::string& fontstyle);

} // namespace pelko
