#pragma once

#include <QIcon>

#include "kor_export.h"

// The tool buttons' glyphs, drawn once by code in 16 x 16.
namespace StandardGlyphs {

enum class Glyph { Insert, Edit, Delete, Confirm, Cancel, Search, Verify, Print, Help, Close, Filter, Generate };

KOR_EXPORT QIcon icon(Glyph glyph);

} // namespace StandardGlyphs
