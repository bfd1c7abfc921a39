#pragma once

#include <QV/UIA/DETAIL/FreeType.h>

#include <ft2build.h>
#include FT_FREETYPE_H

namespace QV::UIA::DETAIL {

// Copies FreeType's bitmap into the glyph as 8-bit coverage, rows top to
// bottom and pitch equal to the width: 8-bit grey as it is (other grey
// levels scaled to 0 ... 255), 1-, 2- and 4-bit grey expanded. Sizes and
// advance are left to the caller. False for colour and sub-pixel bitmaps,
// which have no single coverage, and for sizes that do not fit.
bool convertGlyphBitmap(const FT_Bitmap& bitmap, FTCharBitmap& glyph);

} // namespace QV::UIA::DETAIL
