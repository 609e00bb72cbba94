#pragma once

#include <QFont>

namespace zarnet {

// The family the window's fonts are named by.
inline constexpr char16_t SongFamily[] = u"宋体";

// Lets "宋体" resolve to the Song/Ming face this platform has: SimSun on Windows,
// AR PL UMing (crisp 16-pixel glyphs) on Linux, then other CJK faces.
void installSongSubstitutions();

QFont songFont(qreal pointSize, bool bold = false);

} // namespace zarnet
